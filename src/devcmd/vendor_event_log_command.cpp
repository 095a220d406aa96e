// VSC_GetEventLog( SaveFile:"", DecodeType:0, TarFile:"", ByCmd:0 ): the maker drive's event log,
// read a page at a time, kept as a file and decoded.
//   ByCmd      0: the command goes on the disk's handle and its echo shows CDW2 (the by-handle
//              form); 1: the plain form of the echo. The command itself is the same. SATA drives
//              (also served) have the one ATA echo.
//   DecodeType 0: the entries are shown in the view; 1: they are written as text to TarFile (empty:
//              the log's name with ".txt") and only the count is shown. Others: -2.
// The entry count is the result. Layout: vendor_event_log.h.
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/vendor_channel.h"
#include "devcmd/vendor_event_log.h"
#include "disk/dump_file.h"
#include "engine/arguments.h"
#include "engine/detail_line.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/atomic_file.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;
constexpr auto& Line = engine::DetailLine;
constexpr const char* kNoHeader = "No Eventlog Haead Found, Please Check FW is support or Power Off/On Try Again";

// The whole log: the first page names the length, every further read returns the next page. False
// when it stopped (reported, or the view's cancel flag).
bool ReadEventLog(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, bool byHandle,
                  std::vector<uint8_t>& log) {
  log.assign(kVendorBlock, 0);
  const VendorArgs args = ArgsFor(interp, *target.disk);
  if (const int32_t rc = SendVendor(interp, view, target, VendorOp::kEventLog, args, log, byHandle);
      rc != disk::kNvmeDone) {
    interp.ReportCompletion(view, rc, "Dump Data Error");
    return false;
  }
  if (!HasEventLogHeader(log)) {
    interp.ReportCompletion(view, code::kInvalidData, kNoHeader);
    return false;
  }
  const DriveSize length = EventLogLength(log);
  if (length.code != 1) {
    interp.ReportCompletion(view, length.code, Format("Eventlog Size : %llu", static_cast<unsigned long long>(length.bytes)));
    return false;
  }
  Line(interp, view, Format("Eventlog Size : %llu KB", static_cast<unsigned long long>(length.bytes / 1024)),
       engine::colour::kWhite);
  std::vector<uint8_t> page(kVendorBlock);
  while (log.size() < length.bytes) {
    if (interp.view(view).cancel.load()) return false;
    if (const int32_t rc = SendVendorQuiet(target, VendorOp::kEventLog, args, page); rc != disk::kNvmeDone) {
      interp.ReportCompletion(view, rc, "Dump Data Error");
      return false;
    }
    const uint64_t before = log.size();
    log.insert(log.end(), page.begin(), page.end());
    ShowDumpProgress(interp, view, before, log.size());
  }
  return true;
}

void GetEventLog(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"SaveFile", "DecodeType", "TarFile", "ByCmd"});
  const std::string file = in.Text("");
  const uint32_t decodeType = in.U32(0);
  std::string target = in.Text("");
  const uint32_t byCmd = in.U32(0);
  if (!in.ok()) return;
  if (decodeType > 1) return interp.ReportCompletion(view, code::kBadParameter, Format("DecodeType %u", decodeType));
  if (byCmd > 1) return interp.ReportCompletion(view, code::kBadParameter, Format("ByCmd %u", byCmd));
  NvmeTarget drive = MakerTarget(interp, view);
  if (!drive) return;

  std::vector<uint8_t> log;
  if (!ReadEventLog(interp, view, drive, byCmd == 0, log)) return;
  if (EventLogIsZero(log)) return interp.ReportCompletion(view, code::kInvalidData, "Dump Zero Data out");
  const std::string path = VendorSavePath(interp, view, file, ".elog");
  if (!disk::SaveDump(interp, view, path, log, disk::kReadDumpColour, false)) return;
  Line(interp, view, Format("EventLog File : %s", path.c_str()), engine::colour::kCyan);

  if (decodeType == 1) target = target.empty() ? path + ".txt" : engine::OutputFilePath(interp, view, target);
  Line(interp, view, Format("ElogFile:\"%s\", DecodeType:%u, TarFile:\"%s\" ", path.c_str(), decodeType, target.c_str()),
       engine::colour::kGrey);
  std::vector<EventEntry> entries;
  if (const int32_t rc = EventLogEntries(log, entries); rc != 1)
    return interp.ReportCompletion(view, rc, "Event log entries");
  Line(interp, view, Format("%-14s: %zu", "Event Entries", entries.size()), engine::colour::kWhite);
  if (decodeType == 0) {
    for (size_t i = 0; i < entries.size(); ++i) Line(interp, view, EventLine(i, entries[i]), engine::colour::kWhite);
  } else {
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) text += EventLine(i, entries[i]) + "\r\n";
    if (!platform::SaveFileAtomically(target, text)) return interp.ReportCompletion(view, code::kOutputFileFailed, target);
    Line(interp, view, Format("Decode File   : %s", target.c_str()), engine::colour::kCyan);
  }
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Number(static_cast<int64_t>(entries.size())));
}

constexpr engine::HandlerRow kHandlers[] = {
    {"VSC_GetEventLog", engine::kNvmeOnly, GetEventLog},
    {"VSC_GetEventLog", engine::kSataOnly, GetEventLog},
};

}  // namespace

std::span<const engine::HandlerRow> VendorEventLogHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
