// The maker drive's reading commands that keep what they read in a file: VSC_CriticalLog (the
// critical event log, decoded), VSC_GetGrownDefect (the grown defect list), VSC_GetSPIDbgInfo (the
// SPI debug information) and VSC_GetVPDData (the vital product data); VSC_GetGrownDefect also on
// the maker's SATA drives. A SaveFile left empty saves
// under the view's default dump name with the command's extension. Layouts: vendor_layouts.h.
#include <algorithm>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/field_table.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/vendor_channel.h"
#include "devcmd/vendor_layouts.h"
#include "disk/dump_file.h"
#include "engine/arguments.h"
#include "engine/detail_line.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;
constexpr auto& Line = engine::DetailLine;
constexpr uint32_t kVpdStepMs = 100;

void Store(engine::Interpreter& interp, uint32_t view, std::string_view name, engine::Value value) {
  engine::ReportingSink errors(interp, view);
  engine::StoreValue(interp.view(view).vars, errors, name, std::move(value));
}

// The critical log whole: its first page names the length; the FC/FD/FE set reads each page by its
// byte offset, the others return the next page on every read. False when it failed (reported).
bool ReadCriticalLog(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, std::vector<uint8_t>& log) {
  log.assign(kVendorBlock, 0);
  if (!ReadVendor(interp, view, target, VendorOp::kReadBlock, ArgsFor(interp, *target.disk, kBlockCriticalLog, 0), log))
    return false;
  const DriveSize length = CriticalLogLength(log);
  if (length.code != 1) {
    interp.ReportCompletion(view, length.code, "Critical log header");
    return false;
  }
  std::vector<uint8_t> page(kVendorBlock);
  while (log.size() < length.bytes) {
    if (interp.view(view).cancel.load()) return false;
    const VendorArgs args = ArgsFor(interp, *target.disk, kBlockCriticalLog, static_cast<uint32_t>(log.size()));
    if (const int32_t rc = SendVendorQuiet(target, VendorOp::kReadBlock, args, page); rc != disk::kNvmeDone) {
      interp.ReportCompletion(view, rc, "Critical log read");
      return false;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(page.size(), length.bytes - log.size()));
    log.insert(log.end(), page.begin(), page.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return true;
}

// VSC_CriticalLog( SaveFile:"", Decode:TRUE ).
void CriticalLog(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"SaveFile", "Decode"});
  const std::string file = in.Text("");
  const bool decode = in.Bool(true);
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  std::vector<uint8_t> log;
  if (!ReadCriticalLog(interp, view, target, log)) return;
  const std::string path = VendorSavePath(interp, view, file, ".cri");
  if (!disk::SaveDump(interp, view, path, log, disk::kReadDumpColour, false)) return;
  Line(interp, view, Format("Save File : %s", path.c_str()), engine::colour::kWhite);
  if (!decode) return;
  std::vector<CriticalEntry> entries;
  if (const int32_t rc = CriticalLogEntries(log, entries); rc != 1)
    return interp.ReportCompletion(view, rc, "Critical log entries");
  Line(interp, view, Format("%-18s : %zu", "Critical Entries", entries.size()), engine::colour::kWhite);
  for (size_t i = 0; i < entries.size(); ++i) {
    const CriticalEntry& e = entries[i];
    Line(interp, view,
         Format("[%03zu] PowerOn %10llu s  Code 0x%08X  Param 0x%08X", i, static_cast<unsigned long long>(e.seconds),
                e.code, e.parameter),
         engine::colour::kWhite);
  }
  Store(interp, view, name, engine::Value::Number(static_cast<int64_t>(entries.size())));
}

// Reads one 4096-byte page of op from the maker's current disk; false when it failed (reported).
bool ReadOnePage(engine::Interpreter& interp, uint32_t view, VendorOp op, std::vector<uint8_t>& page, uint32_t a = 0) {
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return false;
  page.assign(kVendorBlock, 0);
  return ReadVendor(interp, view, target, op, ArgsFor(interp, *target.disk, a), page);
}

// VSC_GetGrownDefect(): the list, one line a defect, kept as ".gd"; the count is the result.
void GetGrownDefect(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  std::vector<uint8_t> page;
  if (!ReadOnePage(interp, view, VendorOp::kGrownDefect, page)) return;
  std::vector<GrownDefect> defects;
  if (const int32_t rc = GrownDefects(page, defects); rc != 1) return interp.ReportCompletion(view, rc, "Grown defect list");
  Line(interp, view, Format("%-18s : %zu", "Grown Defects", defects.size()), engine::colour::kWhite);
  for (const GrownDefect& d : defects) Line(interp, view, DefectLine(d), engine::colour::kWhite);
  if (!disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view, ".gd"), page, disk::kReadDumpColour)) return;
  Store(interp, view, name, engine::Value::Number(static_cast<int64_t>(defects.size())));
}

// VSC_GetSPIDbgInfo( SaveFile:"" ): the FC/FD/FE set only (-74 on the others).
void GetSPIDbgInfo(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"SaveFile"});
  const std::string file = in.Text("");
  if (!in.ok()) return;
  std::vector<uint8_t> page;
  if (!ReadOnePage(interp, view, VendorOp::kSpiDebugInformation, page)) return;
  disk::SaveDump(interp, view, VendorSavePath(interp, view, file, ".hex"), page, disk::kReadDumpColour);
}

// VSC_GetVPDData(): the drive prepares the data, and 100 ms later it is read.
void GetVPDData(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  std::vector<uint8_t> none;
  if (const int32_t rc = SendVendor(interp, view, target, VendorOp::kVpdPrepare, ArgsFor(interp, *target.disk), none);
      rc != disk::kNvmeDone)
    return interp.ReportCompletion(view, rc, "");
  interp.host().SleepMs(kVpdStepMs);
  std::vector<uint8_t> page(kVendorBlock);
  if (!ReadVendor(interp, view, target, VendorOp::kVpdRead, ArgsFor(interp, *target.disk), page)) return;
  for (const VpdField& f : kVpdFields) {
    const std::string text = PrintableText(std::span<const uint8_t>(page).subspan(f.offset, f.size));
    Line(interp, view, Format("%-20s : %s", f.name, text.c_str()), engine::colour::kWhite);
  }
  disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view, ".vpd"), page, disk::kReadDumpColour);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"VSC_CriticalLog", engine::kNvmeOnly, CriticalLog},
    {"VSC_GetGrownDefect", engine::kNvmeOnly, GetGrownDefect},
    {"VSC_GetSPIDbgInfo", engine::kNvmeOnly, GetSPIDbgInfo},
    {"VSC_GetVPDData", engine::kNvmeOnly, GetVPDData},
    {"VSC_GetGrownDefect", engine::kSataOnly, GetGrownDefect},
};

}  // namespace

std::span<const engine::HandlerRow> VendorReadHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
