// SMART (the attribute table with thresholds and the self-test state) and SMART_Offline (starts or
// aborts a self-test) of SATA drives.
#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/ata_command_groups.h"
#include "devcmd/ata_command_support.h"
#include "devcmd/ata_smart_table.h"
#include "devcmd/ata_state.h"
#include "devcmd/item_filter.h"
#include "disk/ata_smart.h"
#include "disk/sector_buffer.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
namespace colour = engine::colour;
using base::Format;

// Reads one SMART page; reports a failure and returns false.
bool ReadPage(engine::Interpreter& interp, uint32_t view, uint8_t feature, disk::SectorBuffer& page) {
  if (!page.ok()) {
    interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    return false;
  }
  const int32_t rc = SendAta(interp, disk::SmartTaskFile(feature, disk::ata_flag::kPioIn), page.bytes());
  if (rc < 0) {
    interp.ReportCompletion(view, rc, "");
    return false;
  }
  return true;
}

// SMART( Items:"" );
void Smart(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"Items"});
  const std::string items = in.Text("");
  if (!in.ok()) return;
  const int32_t rc =
      SendAta(interp, disk::SmartTaskFile(disk::kSmartEnableOperations, disk::ata_flag::kNoData), {});
  if (rc < 0) return interp.ReportCompletion(view, rc, "");
  disk::SectorBuffer data(disk::kSmartPageBytes), thresholds(disk::kSmartPageBytes);
  if (!ReadPage(interp, view, disk::kSmartReadData, data) ||
      !ReadPage(interp, view, disk::kSmartReadThresholds, thresholds))
    return;
  // A page with a wrong checksum is said so and still shown.
  if (!disk::SmartChecksumOk(data.bytes()))
    DetailLine(interp, view, "SMART Data Checksum Error", colour::kRed);
  if (!disk::SmartChecksumOk(thresholds.bytes()))
    DetailLine(interp, view, "SMART Threshold Checksum Error", colour::kRed);

  ViewLineSink sink(interp, view);
  ItemCollector collector(items);
  const std::vector<disk::SmartAttribute> attributes =
      disk::ParseSmartAttributes(data.bytes(), thresholds.bytes());
  PrintSmartAttributes(sink, attributes, collector);
  engine::StoreValue(v.vars, errors, name, collector.Result());
  PrintSelfTestState(sink, data.bytes());
  LastAtaSmart& last = LastAtaSmartOf(interp, view);
  last.attributes = attributes;
  last.valid = true;
}

// SMART_Offline( SelfTest:"Short" );
void SmartOffline(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"SelfTest"});
  const std::string test = in.Text("Short");
  if (!in.ok()) return;
  uint8_t subcommand = 0;
  if (base::EqualsNoCase(test, "Short")) {
    subcommand = 1;
  } else if (base::EqualsNoCase(test, "Extend")) {
    subcommand = 2;
  } else if (base::EqualsNoCase(test, "Abort")) {
    subcommand = 0x7F;
  } else {
    return interp.ReportCompletion(view, code::kBadParameter, "SelfTest Parameter Error ");
  }
  const disk::AtaTaskFile tf =
      disk::SmartTaskFile(disk::kSmartExecuteOffline, disk::ata_flag::kNoData, subcommand);
  if (const std::string echo = DebugEcho(interp, tf); !echo.empty())
    DetailLine(interp, view, echo, colour::kGrey);
  const int32_t rc = SendAta(interp, tf, {});
  if (rc < 0) interp.ReportCompletion(view, rc, "");
}

constexpr engine::HandlerRow kHandlers[] = {
    {"SMART", engine::kSataOnly, Smart},
    {"SMART_Offline", engine::kSataOnly, SmartOffline},
};

}  // namespace

std::span<const engine::HandlerRow> AtaSmartHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
