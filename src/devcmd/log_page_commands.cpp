// The log-page decoders: GetLogPage_ErrorInfo, SMART (also GetLogPage_SMART),
// GetLogPage_FirmwareSlotInfo and GetLogPage_CommandEffect.
#include <algorithm>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/nvme_command_support.h"
#include "devcmd/nvme_decoders_logs.h"
#include "devcmd/nvme_decoders_smart.h"
#include "devcmd/nvme_state.h"
#include "disk/dump_file.h"
#include "disk/sector_buffer.h"
#include "engine/arguments.h"
#include "engine/expression.h"
#include "engine/interpreter.h"
#include "engine/literals.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;

constexpr uint8_t kErrorLog = 0x01;
constexpr uint8_t kSmartLog = 0x02;
constexpr uint8_t kFirmwareLog = 0x03;
constexpr uint8_t kEffectsLog = 0x05;

// Reads a log page (or, with cns set, an Identify page) into a fresh buffer; reports a failure and
// gives an empty buffer.
disk::SectorBuffer ReadPage(engine::Interpreter& interp, uint32_t view, size_t bytes, int lid, int cns = -1) {
  disk::SectorBuffer page(bytes);
  if (!page.ok()) {
    interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    return {};
  }
  const int32_t rc = cns >= 0 ? ReadIdentify(interp, static_cast<uint8_t>(cns), 0, page.bytes())
                              : ReadLogPage(interp, static_cast<uint8_t>(lid), page.bytes());
  if (rc < 0) {
    interp.ReportCompletion(view, rc, "");
    return {};
  }
  return page;
}

void ErrorInfo(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  disk::SectorBuffer log = ReadPage(interp, view, kErrorLogBytes, kErrorLog);
  if (log.size() == 0) return;
  ViewLineSink sink(interp, view);
  DecodeErrorInformation(sink, log.bytes());
}

// SMART( ShowVSC:1, Items:"" ); ShowVSC is also taken as ShowVendor, and is 0 when not given.
void Smart(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  int64_t showVsc = 0;
  std::string items;
  while (auto pair = engine::NextPair(args)) {
    const bool isShow =
        base::EqualsNoCase(pair->name, "ShowVSC") || base::EqualsNoCase(pair->name, "ShowVendor");
    const bool isItems = base::EqualsNoCase(pair->name, "Items");
    if ((!isShow && !isItems) || pair->value.empty()) continue;
    const engine::Value value = engine::ReadValue(v.vars, errors, pair->value);
    if (isShow) {
      std::optional<int64_t> n = engine::ToInt64(value);
      if (!n) return;
      showVsc = *n;
    } else {
      std::optional<std::string> text = engine::ToText(value);
      if (!text) return;
      items = *text;
    }
  }
  disk::SectorBuffer page = ReadPage(interp, view, kSmartPageBytes, kSmartLog);
  // A failed read leaves an empty result, so that the statement reads no stale or missing value.
  if (page.size() == 0) return (void)engine::StoreValue(v.vars, errors, name, engine::Value::Text(""));
  LastSmartPage& last = LastSmartOf(interp, view);
  std::copy_n(page.data(), kSmartPageBytes, last.bytes.begin());
  last.valid = true;
  ViewLineSink sink(interp, view);
  engine::Value result = DecodeSmart(sink, page.bytes(), showVsc, items);
  if (items.empty())
    disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view, ".smart"), page.bytes(),
                   disk::kReadDumpColour, false);
  engine::StoreValue(v.vars, errors, name, result);
}

void FirmwareSlotInfo(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  disk::SectorBuffer controller = ReadPage(interp, view, 4096, 0, 1);
  if (controller.size() == 0) return;
  disk::SectorBuffer log = ReadPage(interp, view, kFirmwareLogBytes, kFirmwareLog);
  if (log.size() == 0) return;
  ViewLineSink sink(interp, view);
  DecodeFirmwareSlots(sink, controller.bytes(), log.bytes());
}

void CommandEffect(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  disk::SectorBuffer log = ReadPage(interp, view, kEffectsLogBytes, kEffectsLog);
  if (log.size() == 0) return;
  ViewLineSink sink(interp, view);
  DecodeCommandEffects(sink, log.bytes());
}

// The handlers of this file, one row per command table row.
constexpr engine::HandlerRow kHandlers[] = {
    {"GetLogPage_ErrorInfo", engine::kNvmeOnly, ErrorInfo},
    {"SMART", engine::kNvmeOnly, Smart},
    {"GetLogPage_FirmwareSlotInfo", engine::kNvmeOnly, FirmwareSlotInfo},
    {"GetLogPage_CommandEffect", engine::kNvmeOnly, CommandEffect},
};

}  // namespace

std::span<const engine::HandlerRow> LogPageHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
