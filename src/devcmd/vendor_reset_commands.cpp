// The maker's vendor commands that reset the drive or change what it runs: VSC_BrandNew (factory
// state), VSC_FTLVirgin, VSC_KillFW (to the recovery code) and VSC_ForceTo (a firmware mode), each
// followed by bringing the drive back the way its driver path allows. All but VSC_FTLVirgin also
// serve the maker's SATA drives.
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/bridge_power.h"
#include "devcmd/firmware_file.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/vendor_channel.h"
#include "disk/disk_state.h"
#include "disk/node_control.h"
#include "disk/nvme_operations.h"
#include "disk/wait_disk.h"
#include "engine/arguments.h"
#include "engine/detail_line.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;
constexpr auto& Line = engine::DetailLine;
constexpr uint32_t kBrandNewTries = 30;

// The confirmation of a destructive command: OK and Cancel, OK pressing itself after 20 s. false
// (with "---- Cancel Command ----") when declined.
bool Confirmed(engine::Interpreter& interp, uint32_t view, bool ask, const char* question) {
  if (!ask) return true;
  const disk::DiskState& disks = disk::StateOf(interp);
  const std::string name = disks.hasCurrent ? disks.current.displayName : std::string();
  if (interp.ui().AskOkCancel(view, Format(question, name.c_str()), &interp.view(view).cancel, true)) return true;
  Line(interp, view, "---- Cancel Command ----", engine::colour::kCyan);
  return false;
}

// Sends op without data, reporting a failure: true when it was sent.
bool SendReset(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, VendorOp op, uint32_t a = 0) {
  std::vector<uint8_t> none;
  const int32_t rc = SendVendor(interp, view, target, op, ArgsFor(interp, *target.disk, a), none);
  if (rc == disk::kNvmeDone) return true;
  interp.ReportCompletion(view, rc, "");
  return false;
}

// Reports a failed bridge request: true when it went through.
bool BridgeDone(engine::Interpreter& interp, uint32_t view, int32_t rc) {
  if (rc == 0) return true;
  interp.ReportCompletion(view, rc, "Power Reset");
  return false;
}

// Brings the drive back after a reset of its firmware state: the inbox driver relinks by
// disabling and enabling the parent device; the bridges with power control power-reset it.
void BringBack(engine::Interpreter& interp, uint32_t view, const disk::DiskEntry& disk) {
  if (disk.diskKind == disk::DiskKind::kNvm) {
    Line(interp, view, "PCIE ReLink Disk", engine::colour::kOlive);
    disk::SetParentEnabled(interp, disk, false);
    interp.host().SleepMs(2000);
    disk::SetParentEnabled(interp, disk, true);
  } else if (HasBridgePowerReset(disk.diskKind)) {
    Line(interp, view, "Power Reset", engine::colour::kOlive);
    BridgeDone(interp, view, PowerResetDisk(interp, disk));
  }
}

// VSC_BrandNew( ConfirmMsg:TRUE ): the factory reset; the configuration page is read once a second
// until it shows the reset done.
void BrandNew(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"ConfirmMsg"});
  const bool ask = in.Bool(true);
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target || !Confirmed(interp, view, ask, "Do you want Brand New of disk? \n%s")) return;
  if (!SendReset(interp, view, target, VendorOp::kBrandNew)) return;
  interp.host().SleepMs(1000);
  std::vector<uint8_t> page(kConfigBlockSize);
  const VendorArgs poll = ArgsFor(interp, *target.disk, kBlockConfigPage);
  for (uint32_t i = 0; i < kBrandNewTries && !interp.view(view).cancel.load(); ++i) {
    if (SendVendorQuiet(target, VendorOp::kReadBlock, poll, page) == disk::kNvmeDone && page[1] != 0xFF) return;
    interp.host().SleepMs(1000);
  }
  if (interp.view(view).cancel.load()) return;
  Line(interp, view, "Brand New Timeout", engine::colour::kGrey);
  interp.ReportCompletion(view, code::kIoResponseTimeout, "Brand New Timeout");
}

// VSC_FTLVirgin( ConfirmMsg:TRUE ): the drive forgets its mapping; it is brought back by its path
// without waiting for it.
void FTLVirgin(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"ConfirmMsg"});
  const bool ask = in.Bool(true);
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target || !Confirmed(interp, view, ask, "Do you want virgin FTL of disk? \n%s")) return;
  if (!SendReset(interp, view, target, VendorOp::kFtlVirgin)) return;
  const disk::DiskEntry disk = *target.disk;
  Countdown(interp, view, "Wait", 5);
  if (interp.view(view).cancel.load()) return;
  BringBack(interp, view, disk);
}

// VSC_KillFW( ConfirmMsg:TRUE ): the drive drops to its recovery code; a drive of a known
// configuration type on the inbox driver is booted again by force, others need a power reset.
void KillFW(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"ConfirmMsg"});
  const bool ask = in.Bool(true);
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target || !Confirmed(interp, view, ask, "Do you want kill FW to Recovery Mode? \n%s")) return;
  if (!SendReset(interp, view, target, VendorOp::kKillFirmware)) return;
  const disk::DiskEntry disk = *target.disk;
  interp.host().SleepMs(8000);
  if (disk.diskKind == disk::DiskKind::kNvm) {
    if (disk.configType >= 1 && disk.configType <= 3) {
      Line(interp, view, "Force Boot", engine::colour::kOlive);
      if (!SendReset(interp, view, target, VendorOp::kForceFirmwareMode, 1)) return;
      disk::RemoveDiskNode(interp, disk);
      disk::Rescan(interp);
    } else {
      Line(interp, view, "Must Power Reset Disk to back ROM Code.", engine::colour::kYellow);
    }
  } else if (HasBridgePowerReset(disk.diskKind)) {
    Line(interp, view, "Power Reset", engine::colour::kOlive);
    if (!BridgeDone(interp, view, PowerResetDisk(interp, disk))) return;
  } else if (disk::IsSataKind(disk.diskKind)) {
    Line(interp, view, "Must Power Reset Disk to back ROM Code.", engine::colour::kYellow);
  }
  if (!disk::WaitForDisk(interp, view, 60)) interp.ReportCompletion(view, code::kActivateFwTimeout, "TimeOut, Disk Disconnect");
}

// VSC_ForceTo( iFWMode:0x00 ): the firmware mode, then a relink by the drive's path.
void ForceTo(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"iFWMode"});
  const uint32_t mode = in.U32(0);
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target || !SendReset(interp, view, target, VendorOp::kForceFirmwareMode, mode)) return;
  const disk::DiskEntry disk = *target.disk;
  interp.host().SleepMs(1000);
  const bool asmedia = disk.diskKind == disk::DiskKind::kAsm2362 || disk.diskKind == disk::DiskKind::kAsm2364;
  if (asmedia || disk.diskKind == disk::DiskKind::kJmi) {
    Line(interp, view, asmedia ? "ASM USB Bridge Power ReLink Disk" : "JMI USB Bridge Power ReLink Disk",
         engine::colour::kOlive);
    const int32_t rc = OnDiskDevice(interp, disk, [&](platform::Device& d) {
      return SendBridgePower(d, disk.diskKind, BridgePower::kReLink);
    });
    if (!BridgeDone(interp, view, rc)) return;
  } else if (disk.diskKind != disk::DiskKind::kRtl9210B) {
    Line(interp, view, "Remove ReScanDriver", engine::colour::kOlive);
    disk::RemoveDiskNode(interp, disk);
    interp.host().SleepMs(5000);
    disk::Rescan(interp);
  }
  if (!disk::WaitForDisk(interp, view, 20)) interp.ReportCompletion(view, code::kActivateFwTimeout, "TimeOut, Disk Disconnect");
}

constexpr engine::HandlerRow kHandlers[] = {
    {"VSC_BrandNew", engine::kNvmeOnly, BrandNew},
    {"VSC_FTLVirgin", engine::kNvmeOnly, FTLVirgin},
    {"VSC_KillFW", engine::kNvmeOnly, KillFW},
    {"VSC_ForceTo", engine::kNvmeOnly, ForceTo},
    {"VSC_BrandNew", engine::kSataOnly, BrandNew},
    {"VSC_KillFW", engine::kSataOnly, KillFW},
    {"VSC_ForceTo", engine::kSataOnly, ForceTo},
};

}  // namespace

std::span<const engine::HandlerRow> VendorResetHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
