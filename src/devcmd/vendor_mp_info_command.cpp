// VSC_GetMPinfo( DefectList:FALSE, NCB:0, MPInfoItem:"", ShowOffset:FALSE ): the manufacturing
// record the maker's drive keeps in its drive-information page (DriveInformation 0, 0, 0),
// decoded with the package's "mpitem" table; MPInfoItem picks items and their values become the
// result, as in VSC_GetFWconfig. Without items the page is also kept as a ".mpinfo" dump.
//   DefectList TRUE: then the factory defect list, page NCB (0 first) of DriveInformation source
//   2 (CDW14 the page, on SATA drives LBA mid; the legacy opcode carries no page, so there NCB must
//   be 0: else -79). Also on the maker's SATA drives.
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/field_table.h"
#include "devcmd/line_sink.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/vendor_channel.h"
#include "devcmd/vendor_layouts.h"
#include "disk/dump_file.h"
#include "engine/arguments.h"
#include "engine/detail_line.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
constexpr uint32_t kFactoryDefectSource = 2;

// The factory defect list's page ncb, one line a defect; false when it failed (reported).
bool ShowFactoryDefects(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, uint32_t ncb) {
  std::vector<uint8_t> page(kVendorBlock);
  if (!ReadVendor(interp, view, target, VendorOp::kDriveInformation,
                  ArgsFor(interp, *target.disk, kFactoryDefectSource, ncb), page))
    return false;
  std::vector<GrownDefect> defects;
  if (const int32_t rc = GrownDefects(page, defects); rc != 1) {
    interp.ReportCompletion(view, rc, "Factory defect list");
    return false;
  }
  engine::DetailLine(interp, view, base::Format("%-18s : %zu (page %u)", "Factory Defects", defects.size(), ncb),
                     engine::colour::kWhite);
  for (const GrownDefect& d : defects) engine::DetailLine(interp, view, DefectLine(d), engine::colour::kWhite);
  return true;
}

void GetMPinfo(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"DefectList", "NCB", "MPInfoItem", "ShowOffset"});
  const bool defectList = in.Bool(false);
  const uint32_t ncb = in.U32(0);
  const std::string items = in.Text("");
  const bool showOffset = in.Bool(false);
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  const uint32_t variant = target.disk->vendorVariant;
  const bool carriesPage = variant == kVariantFc || variant == kVariantC0 || disk::IsSataKind(target.disk->diskKind);
  if (defectList && ncb != 0 && !carriesPage)
    return interp.ReportCompletion(view, code::kNotSupported, "NCB on the legacy command set");

  std::vector<uint8_t> page(kVendorBlock);
  if (!ReadVendor(interp, view, target, VendorOp::kDriveInformation, ArgsFor(interp, *target.disk), page)) return;
  const std::vector<FieldRow> rows = VendorStateOf(interp).data.MpFieldRows();
  ViewLineSink sink(interp, view);
  DecodeOptions options;
  options.items = items;
  options.showOffset = showOffset;
  const DecodeResult result = DecodeRecord(sink, page, rows, options);
  if (defectList && !ShowFactoryDefects(interp, view, target, ncb)) return;
  if (items.empty()) {
    disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view, ".mpinfo"), page, disk::kReadDumpColour, false);
    return;
  }
  engine::StoreValue(interp.view(view).vars, errors, name, result.value);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"VSC_GetMPinfo", engine::kNvmeOnly, GetMPinfo},
    {"VSC_GetMPinfo", engine::kSataOnly, GetMPinfo},
};

}  // namespace

std::span<const engine::HandlerRow> VendorMpInfoHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
