// GetLogPage, SafeRemoveNVMe and the NVMe SecurErase; RegisterNvmeCommands.
#include "devcmd/nvme_commands.h"

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/ata_command_support.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/nvme_command_support.h"
#include "devcmd/nvme_state.h"
#include "disk/partition_commands.h"
#include "disk/disk_state.h"
#include "disk/dump_file.h"
#include "disk/node_control.h"
#include "disk/nvme_operations.h"
#include "disk/sector_buffer.h"
#include "disk/sector_io.h"
#include "disk/target_mode.h"
#include "engine/detail_line.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;

constexpr int kRemoveTries = 5;
constexpr uint32_t kEraseSettleMs = 3000;

constexpr auto& Line = engine::DetailLine;

// GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 ); the page goes to a dump file, the
// completion dword to the result variable.
void GetLogPage(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"ID", "LSP", "RAE", "DataLenByte"});
  const uint32_t id = in.U32(0x02);
  const uint32_t lsp = in.U32(0);
  const uint32_t rae = in.U32(0);
  uint32_t length = in.U32(512);
  if (!in.ok()) return;
  if (length == 0) length = 512;
  auto refuse = [&](std::string_view detail) {
    engine::StoreValue(v.vars, errors, name, engine::Value::Number(0));
    interp.ReportCompletion(view, code::kBadParameter, detail);
  };
  // NUMDL counts dwords less one in 16 bits: a length must be whole dwords and at most 65536 of them.
  if (length % 4 != 0 || length > disk::kMaxLogPageBytes)
    return refuse(Format("DataLenByte must be a multiple of 4 up to %zu", disk::kMaxLogPageBytes));
  if (id > 0xFF || lsp > 0x7F) return refuse("ID must not exceed 0xFF, LSP 0x7F");

  disk::SectorBuffer page(length);
  if (!page.ok()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
  uint32_t dw0 = 0;
  const int32_t rc =
      ReadLogPage(interp, static_cast<uint8_t>(id), page.bytes(), &dw0, static_cast<uint8_t>(lsp), rae != 0);
  engine::StoreValue(v.vars, errors, name, engine::Value::Number(dw0));
  if (rc < 0) return interp.ReportCompletion(view, rc, "");
  Line(interp, view, Format("Return Value  : 0x%08X", dw0), engine::colour::kYellow);
  disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view), page.bytes(), disk::kReadDumpColour,
                 true);
}

// SafeRemoveNVMe(): removes the disk's node and its controller until the disk no longer opens.
void SafeRemoveNvme(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry disk = *target.disk;
  int tries = 0;
  for (; tries < kRemoveTries && disk::DeviceOpens(*target.tree, disk.devicePath); ++tries) {
    Line(interp, view, "Remove Disk & Parent Controller Driver", engine::colour::kGrey);
    if (!disk::RemoveDiskNode(interp, disk))
      return interp.ReportCompletion(view, code::kError, "Remove NVMe Fail");
  }
  // Five removals that left the disk in place: the drive must not be pulled.
  if (tries == kRemoveTries && disk::DeviceOpens(*target.tree, disk.devicePath))
    return interp.ReportCompletion(view, code::kRemoveDeviceFailed,
                                   "The disk is still present after 5 removals");
  Line(interp, view, "You can safely remove the device", engine::colour::kWhite);
  Line(interp, view, "After replug device, find new device by command: ReScanDriver();",
       engine::colour::kYellow);
}

// SecurErase( ConfirmMsg:TRUE ): Format NVM with user-data erase of every namespace; when the drive
// refuses, the whole disk is trimmed instead.
void SecurErase(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"ConfirmMsg"});
  const bool confirm = in.Bool(true);
  if (confirm && !ConfirmSecurityErase(interp, view))
    return Line(interp, view, "---- Cancel Command ----", engine::colour::kCyan);
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  // A disk with volumes loses its partitions first; the whole disk becomes the target.
  if (!target.disk->raw) {
    if (disk::CleanToRaw(interp, view, *target.disk) < 0) return;
    target = CurrentNvmeTarget(interp);
    if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  }

  if (disk::FormatAll(*target.tree, *target.disk) < 0) {
    Line(interp, view, "Security Erase Fail, Try again by TRIM all disk...", engine::colour::kOrange);
    std::unique_ptr<platform::Device> device =
        target.tree->Open(target.disk->devicePath, platform::OpenAccess::kReadWrite);
    if (!device) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
    const int32_t rc = disk::TrimRange(*device, 0, target.disk->usableBytes);
    if (rc < 0) return interp.ReportCompletion(view, rc, "");
  }
  interp.host().SleepMs(kEraseSettleMs);
}

// The handlers of this file, one row per command table row.
constexpr engine::HandlerRow kHandlers[] = {
    {"GetLogPage", engine::kNvmeOnly, GetLogPage},
    {"SafeRemoveNVMe", engine::kNvmeOnly, SafeRemoveNvme},
    {"SecurErase", engine::kNvmeOnly, SecurErase},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterNvmeCommands(engine::Interpreter& interp) {
  interp.State<NvmeState>();  // made before any run, so no run thread is the first to use it
  return interp.Register({kHandlers, RawNvmeHandlers(), FeatureHandlers(), IdentifyHandlers(), LogPageHandlers(),
                         FirmwareHandlers(), VendorHandlers(), VendorConfigHandlers(), VendorResetHandlers(),
                         VendorDumpHandlers(), VendorReadHandlers(), VendorEventLogHandlers(), VendorMpInfoHandlers(),
                         VendorInfoHandlers()});
}

}  // namespace kestrune::devcmd
