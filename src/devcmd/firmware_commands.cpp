// The NVMe firmware commands: UpdateFWex (also UpdateFW) and FWActive. An image is checked and its
// download planned before the first byte is sent; pieces go through one held handle with retries;
// the commit's status tells a committed image that waits for a reset from a failure; the command's
// own relink is followed by a check that the committed slot runs; a slot report ends each command.
#include <string>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/bridge_power.h"
#include "devcmd/config_items.h"
#include "devcmd/firmware_file.h"
#include "devcmd/firmware_image.h"
#include "devcmd/firmware_plan.h"
#include "devcmd/firmware_slot_report.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/nvme_command_support.h"
#include "devcmd/vendor_channel.h"
#include "disk/disk_state.h"
#include "disk/node_control.h"
#include "disk/nvme_operations.h"
#include "disk/wait_disk.h"
#include "engine/detail_line.h"
#include "engine/arguments.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/script_text.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;

constexpr int kPieceTries = 3;
constexpr uint32_t kRetryMs = 30, kBetweenPiecesMs = 10, kAfterDownloadMs = 1000, kAfterCommitMs = 3000;
constexpr uint32_t kNoCommit = 255;
constexpr uint32_t kRomDiskDelaySeconds = 15, kOtherDelaySeconds = 10, kWaitDiskSeconds = 60;
constexpr uint32_t kMaxHintDelaySeconds = 600;

constexpr auto& Line = engine::DetailLine;

std::string StatusDetail(std::string_view what, uint16_t status) {
  return status == 0 ? std::string(what) : Format("%.*s, Status 0x%04X", static_cast<int>(what.size()), what.data(), status);
}

// The delay after a commit on drives of configuration type 1 or 101, from the activation time hint
// (64-bit, capped: a drive's hint never holds the run for hours).
uint64_t HintDelaySeconds(const disk::DiskEntry& disk, bool alder) {
  if (disk.configType != 1 && disk.configType != 101) return kOtherDelaySeconds;
  const uint64_t hint = disk.vendorAux;
  const uint64_t s = alder ? (hint >= 1000 ? hint / 100 : 10) : hint >= 1000 ? (5 * hint - 5000) / 1000 + 20 : 20;
  return std::min<uint64_t>(s, kMaxHintDelaySeconds);
}

struct Identity {
  FirmwareCaps caps;
  SlotReport slots;
};

// Identify Controller and the slot log of the current disk.
int32_t ReadIdentity(engine::Interpreter& interp, Identity& id) {
  std::vector<uint8_t> page(disk::kIdentifyBytes);
  int32_t rc = ReadIdentify(interp, 1, 0, page);
  if (rc < 0) return rc;
  id.caps = ReadFirmwareCaps(page.data());
  std::vector<uint8_t> log(512);
  rc = ReadLogPage(interp, 0x03, log);
  if (rc < 0) return rc;
  id.slots = ReadSlotReport(log, id.caps.frmw);
  return rc;
}

// Prints the slot report and stores the running revision as the command's result.
void ReportSlots(engine::Interpreter& interp, uint32_t view, std::string_view name, const SlotReport& r) {
  for (const std::string& line : SlotReportLines(r)) Line(interp, view, line, engine::colour::kWhite);
  engine::ReportingSink errors(interp, view);
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Text(r.running()));
}

// After a failed commit the engineer still needs to know which slot runs and what each holds;
// the lines only, the result stays the failure's.
void PrintSlotsAfterFailure(engine::Interpreter& interp, uint32_t view) {
  Identity now;
  if (ReadIdentity(interp, now) < 0) return;
  for (const std::string& line : SlotReportLines(now.slots)) Line(interp, view, line, engine::colour::kWhite);
}

// Sends every piece of the plan through one handle: three tries a piece, 30 ms apart.
int32_t Download(engine::Interpreter& interp, uint32_t view, platform::Device& device, const disk::DiskEntry& disk,
                 const FirmwareImage& image, const DownloadPlan& plan, uint16_t& status) {
  ProgressLine progress(interp, view);
  uint64_t sent = 0;
  for (const DownloadPiece& piece : plan.pieces) {
    const std::span<const uint8_t> bytes = std::span<const uint8_t>(image.bytes).subspan(piece.offset, piece.length);
    int32_t rc = 0;
    for (int attempt = 0; attempt < kPieceTries; ++attempt) {
      if (attempt > 0) interp.host().SleepMs(kRetryMs);
      rc = disk::FirmwareDownloadChunk(device, disk, piece.offset, bytes, &status);
      if (rc == disk::kNvmeDone) break;
    }
    if (rc != disk::kNvmeDone) return rc;
    sent += piece.length;
    progress.Show(Format("Progress: %d%%", static_cast<int>(sent * 100 / image.bytes.size())));
    interp.host().SleepMs(kBetweenPiecesMs);
  }
  interp.host().SleepMs(kAfterDownloadMs);
  return disk::kNvmeDone;
}

struct MakerEdit {
  bool over = false;       // the command is over (reported, or cancelled)
  bool writeBack = false;  // the edited block goes to the drive after the commit
};

// The maker's image rules on the image's configuration block: the drive's own block kept
// (KeepSSDcfg, configuration types 1-3), then the items edited; the checksum or the header in front
// of the block brought up to date.
MakerEdit EditImageConfig(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, FirmwareImage& image,
                          bool keep, const std::string& items, const std::string& values) {
  MakerEdit result;
  const disk::DiskEntry& disk = *target.disk;
  if (image.placement == ConfigPlacement::kNone) return result;
  if (keep && disk.configType >= 1 && disk.configType <= 3) {
    std::vector<uint8_t> block(kConfigBlockBytes);
    const VendorArgs a = ArgsFor(interp, disk, kBlockConfig);
    if (SendVendor(interp, view, target, VendorOp::kReadBlock, a, block) == disk::kNvmeDone &&
        std::equal(block.begin(), block.begin() + 4, "CONF")) {
      std::copy(block.begin(), block.end(), image.ConfigBlock().begin());
      RefreshAfterEdit(image);
    }
  }
  if (items.empty()) return result;
  result.writeBack = disk.configType == 2 || disk.configType == 3;
  const ConfigEdit edit =
      ApplyConfigEdits(interp, view, VendorStateOf(interp).data, image.ConfigBlock(), items, values);
  if (edit.over) return {true, false};
  if (edit.code != 0) {
    interp.ReportCompletion(view, edit.code, edit.detail);
    return {true, false};
  }
  RefreshAfterEdit(image);
  return result;
}

// UpdateFWex( File:"", Slot:1, Commit:0, AutoReset:TRUE, ExtDelay:0, KeepSSDcfg:TRUE,
// FWCfgItem:"nand_package_num", SetValue:"" ); UpdateFW takes the same parameters.
void UpdateFWex(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args,
                       {"File", "Slot", "Commit", "AutoReset", "ExtDelay", "KeepSSDcfg", "FWCfgItem", "SetValue"});
  const std::string file = in.Text("");
  const uint32_t slot = in.U32(1);
  const uint32_t commit = in.U32(0);
  const bool autoReset = in.Bool(true);
  const uint32_t extDelay = in.U32(0);
  const bool keepSsdCfg = in.Bool(false);
  const std::string cfgItems = in.Text("");
  const std::string cfgValues = in.Text("");
  if (!in.ok()) return;
  engine::StoreValue(v.vars, errors, name, engine::Value::Text(""));
  if (commit > 7 && commit != kNoCommit) return interp.ReportCompletion(view, code::kBadParameter, "Commit 0-7 or 255");

  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  std::string path;
  std::optional<std::vector<uint8_t>> bytes = ReadFirmwareFile(interp, view, file, path);
  if (!bytes) return;
  const disk::DiskEntry disk = *target.disk;
  ImageCheck check = CheckFirmwareImage(std::move(*bytes), path, {disk.socId != 0, kFirmwarePieceBytes});
  if (check.code != 0) {
    if (check.code == code::kUpdateFwFailed) Line(interp, view, check.detail, engine::colour::kRed);
    return interp.ReportCompletion(view, check.code, check.detail);
  }
  Identity before;
  if (const int32_t rc = ReadIdentity(interp, before); rc < 0) return interp.ReportCompletion(view, rc, "");
  const DownloadPlan plan = PlanDiskDownload(*target.tree, disk, before.caps, check.image.bytes.size(), slot);
  if (plan.code != 0) return interp.ReportCompletion(view, plan.code, plan.detail);
  const VendorData& data = VendorStateOf(interp).data;
  const bool maker = disk.socId != 0;
  bool writeBack = false;
  if (maker) {
    const MakerEdit edit = EditImageConfig(interp, view, target, check.image, keepSsdCfg, cfgItems, cfgValues);
    if (edit.over) return;
    writeBack = edit.writeBack;
  }

  bool reset = false;
  uint8_t action = 0;
  uint16_t status = 0;
  int32_t commitFailure = disk::kNvmeDone;
  uint64_t committedAt = 0;
  {
    std::unique_ptr<platform::Device> device =
        target.tree->Open(disk::NvmePathOf(disk), platform::OpenAccess::kReadWrite);
    if (!device) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
    const int32_t down = Download(interp, view, *device, disk, check.image, plan, status);
    if (down != disk::kNvmeDone) return interp.ReportCompletion(view, down, StatusDetail("FW Download Error", status));
    interp.host().SleepMs(1000);
    if (commit == kNoCommit) return Line(interp, view, "No Commit", engine::colour::kGrey);

    action = ChooseCommitAction(commit, disk.configType, disk.diskKind, disk.firmwareRevision,
                                data.VersionMarker(disk.socId));
    Line(interp, view, Format("Commit Action: %d", action), engine::colour::kWhite);
    committedAt = interp.host().MonotonicMs();
    commitFailure = disk::FirmwareCommit(*device, disk, plan.slot, action, interp.host(), nullptr, &status);
  }
  // The handle is closed before the slot log is read through a handle of its own.
  if (commitFailure != disk::kNvmeDone) {
    PrintSlotsAfterFailure(interp, view);
    return interp.ReportCompletion(view, commitFailure, StatusDetail("FW Commit Error", status));
  }
  if (disk::CommitPendsReset(status))
    Line(interp, view, Format("Commit Status : 0x%04X, active after a reset", status), engine::colour::kYellow);
  if (action == 3 && status == 0) {
    const uint64_t ms = interp.host().MonotonicMs() - committedAt;
    Line(interp, view, Format("%-26s : %llu ms (MTFA %u ms)", "Commit To Ready", static_cast<unsigned long long>(ms),
                              before.caps.mtfa * 100u),
         engine::colour::kWhite);
  }
  interp.host().SleepMs(kAfterCommitMs);

  if (disk.configType == 0) {
    Countdown(interp, view, "Delay", kRomDiskDelaySeconds);
    if (action == 2 || action == 3) Countdown(interp, view, "Extra Delay", extDelay);
    Line(interp, view, "ReLink Disk", engine::colour::kOlive);
    if (disk.diskKind == disk::DiskKind::kNvm) {
      reset = disk::SetParentEnabled(interp, disk, false) && disk::SetParentEnabled(interp, disk, true);
    } else if (HasBridgePowerReset(disk.diskKind)) {
      reset = OnDiskDevice(interp, disk, [&](platform::Device& d) {
        return SendBridgePower(d, disk.diskKind, BridgePower::kReLink);
      }) == 0;
    }
    if (action == 1) Countdown(interp, view, "Extra Delay", extDelay);
  } else {
    Countdown(interp, view, "Delay", HintDelaySeconds(disk, data.FamilyOf(disk.socId) == SocFamily::kAlder));
    Countdown(interp, view, "Extra Delay", extDelay);
    if (maker && disk.diskKind == disk::DiskKind::kNvm) {
      std::vector<uint8_t> none;
      SendVendor(interp, view, target, VendorOp::kEnterVendorMode, {}, none);
    }
    if (writeBack) {
      VendorArgs a = ArgsFor(interp, disk, kBlockConfig);
      const std::span<uint8_t> block = check.image.ConfigBlock();
      a.crc = BlockCrc(block, check.image.checksum);
      std::vector<uint8_t> bytes(block.begin(), block.end());
      if (const int32_t rc = SendVendor(interp, view, target, VendorOp::kWriteBlock, a, bytes); rc != disk::kNvmeDone)
        return interp.ReportCompletion(view, rc, "Set FWconfig Error");
    }
    if (autoReset && HasBridgePowerReset(disk.diskKind)) {
      Line(interp, view, "Power Reset", engine::colour::kOlive);
      reset = PowerResetDisk(interp, disk) == 0;
    }
  }
  if (v.cancel.load()) return;
  if (!disk::WaitForDisk(interp, view, kWaitDiskSeconds))
    return interp.ReportCompletion(view, code::kActivateFwTimeout, "TimeOut, Disk Disconnect");

  Identity after;
  if (const int32_t rc = ReadIdentity(interp, after); rc < 0) return interp.ReportCompletion(view, rc, "");
  ReportSlots(interp, view, name, after.slots);
  // A slot that should run now (activated at once, or after the command's own reset) and does not.
  const bool shouldRun = (action == 3 && status == 0) || (reset && action != 0);
  if (shouldRun && plan.slot != 0 && after.slots.active != plan.slot)
    return interp.ReportCompletion(view, code::kActivateFwFailed, "Active FW Error");
}

// FWActive(Slot:1, Commit:1 ); the commit's result is kept as the view's last code without
// reporting it (a reported code of 0 or more would end the run).
void FWActive(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"Slot", "Commit"});
  const uint32_t slot = in.U32(1);
  const uint32_t commit = in.U32(1);
  if (!in.ok()) return;
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  uint16_t status = 0;
  const int32_t rc = disk::FirmwareCommit(*target.tree, *target.disk, static_cast<uint8_t>(std::min(slot, 255u)),
                                          static_cast<uint8_t>(std::min(commit, 255u)), interp.host(), nullptr, &status);
  if (rc < 0) {
    PrintSlotsAfterFailure(interp, view);
    return interp.ReportCompletion(view, rc, status == 0 ? "" : StatusDetail("FW Commit Error", status));
  }
  if (disk::CommitPendsReset(status))
    Line(interp, view, Format("Commit Status : 0x%04X, active after a reset", status), engine::colour::kYellow);
  Identity after;
  if (ReadIdentity(interp, after) >= 0) ReportSlots(interp, view, name, after.slots);
  v.lastCode = rc;
}

constexpr engine::HandlerRow kHandlers[] = {
    {"UpdateFWex", engine::kNvmeOnly, UpdateFWex},
    {"UpdateFW", engine::kNvmeOnly, UpdateFWex},
    {"FWActive", engine::kNvmeOnly, FWActive},
    {"FWImageInfo", engine::kAnyDisk, FWImageInfo},
};

}  // namespace

std::span<const engine::HandlerRow> FirmwareHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
