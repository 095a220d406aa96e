// libFuzzer target: the inputs of the firmware and vendor commands that come from files a test
// engineer or a maker hands over. The first byte picks the reader:
//   0  a structure definition file (the rest up to the first NUL) decoding the bytes after it
//   1  a firmware image checked under the maker's rules and the plain ones, its checksum kind
//   2  the maker's data file, then every item set from the bytes after the first NUL
//   3  a ".cfgini" item list and FWCfgItem / SetValue lists
// Build with the fuzz options (KESTRUNE_FUZZ=ON, clang); run on a copy of a corpus:
//   firmware_inputs_fuzz -max_total_time=300 -max_len=65536 corpus_copy
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "devcmd/config_items.h"
#include "devcmd/field_table.h"
#include "devcmd/firmware_image.h"
#include "devcmd/line_sink.h"
#include "devcmd/struct_definition.h"
#include "devcmd/vendor_data.h"

using namespace kestrune::devcmd;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t nul = all.find('\0');
  const std::string_view text = all.substr(0, nul);
  const std::string_view rest = nul == std::string_view::npos ? std::string_view() : all.substr(nul + 1);
  const std::span<const uint8_t> restBytes(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());
  switch (data[0] % 4) {
    case 0: {
      auto parsed = ParseStructDefinition(text);
      if (auto* def = std::get_if<StructDefinition>(&parsed)) {
        LineCollector sink;
        const std::vector<FieldRow> rows = def->Rows();
        DecodeRecord(sink, restBytes, rows, {});
      }
      return 0;
    }
    case 1: {
      std::vector<uint8_t> file(data + 1, data + size);
      for (bool maker : {false, true}) {
        ImageCheck check = CheckFirmwareImage(file, maker ? "prog_image.bin" : "image.bin", {maker, 4096});
        if (check.code == 0) {
          (void)DetectChecksum(check.image.bytes);
          if (check.image.placement != ConfigPlacement::kNone) RefreshAfterEdit(check.image);
        }
      }
      return 0;
    }
    case 2: {
      VendorDataParse parsed = ParseVendorData(text);
      if (!parsed.data) return 0;
      std::vector<uint8_t> block(kConfigBlockSize);
      const std::string value(rest.substr(0, 200));
      for (const ConfigItem& item : parsed.data->items) (void)SetConfigItem(block, item, value);
      LineCollector sink;
      const std::vector<FieldRow> rows = parsed.data->FieldRows();
      DecodeRecord(sink, block, rows, {});
      return 0;
    }
    default: {
      std::string why;
      (void)ReadCfgIni(text, why);
      (void)PairEdits(text, rest, why);
      return 0;
    }
  }
}
