// UpdateFW and FWActive of a SATA drive: the image goes down with DOWNLOAD MICROCODE (03h, with
// offsets) in pieces no larger than the drive accepts, is activated at once with 0Fh when asked, and
// the drive is then looked for again until the capacity its IDENTIFY data gives matches the disk
// list's. Between the download and the check every program instance in the barrier meets.
#include <algorithm>
#include <array>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/ata_command_groups.h"
#include "devcmd/ata_command_support.h"
#include "devcmd/firmware_file.h"
#include "devcmd/firmware_plan.h"
#include "disk/ata_identity.h"
#include "disk/ata_operations.h"
#include "disk/capacity.h"
#include "disk/disk_find.h"
#include "disk/disk_state.h"
#include "disk/node_control.h"
#include "engine/arguments.h"
#include "engine/barrier_commands.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/host.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;

constexpr uint8_t kDownloadWithOffsets = 0x03;
constexpr uint32_t kBetweenPiecesMs = 10, kSettleMs = 1000, kActivationWaitMs = 5000, kSliceMs = 250;
constexpr uint32_t kBarrierSeconds = 30;
constexpr int kActivationChecks = 5;

// Sleeps ms in slices; false when the view's cancel flag turned on.
bool Pause(engine::Interpreter& interp, uint32_t view, uint32_t ms) {
  for (uint32_t slept = 0; slept < ms; slept += kSliceMs) {
    if (interp.view(view).cancel.load()) return false;
    interp.host().SleepMs(std::min(kSliceMs, ms - slept));
  }
  return !interp.view(view).cancel.load();
}

// The capacity the drive's IDENTIFY data gives (48-bit sector count, logical sector size) against
// the one the disk list has for the re-found disk.
bool CapacityAgrees(engine::Interpreter& interp, const disk::DiskState& state) {
  std::array<uint8_t, 512> identify{};
  if (disk::AtaIdentifyData(*state.tree, state.current, identify) != code::kSuccessTrue) return false;
  const disk::AtaIdentity id = disk::ParseAtaIdentity(identify);
  const uint32_t ss = state.current.sectorSize ? state.current.sectorSize : disk::kAtaSectorBytes;
  const uint64_t fromIdentify = disk::CapacityGB(id.maxLba * ss, ss);
  return fromIdentify != 0 && fromIdentify == disk::CapacityLabelOf(*state.tree, state.current);
}

// "Wait FW Active...", then up to five looks for the drive, 5 s apart. False when it did not come
// back (-85 reported) or the view was cancelled.
bool WaitForActivation(engine::Interpreter& interp, uint32_t view) {
  DetailLine(interp, view, "Wait FW Active...", engine::colour::kGrey);
  disk::DiskState& state = disk::StateOf(interp);
  for (int check = 0; check < kActivationChecks; ++check) {
    if (!Pause(interp, view, kActivationWaitMs)) return false;
    disk::Rescan(interp);
    if (state.tree && disk::FindCurrentDiskAgain(interp) && CapacityAgrees(interp, state)) return true;
  }
  interp.ReportCompletion(view, code::kActivateFwTimeout, "");
  return false;
}

// Whether the current disk's IDENTIFY data names another firmware revision than before.
bool RevisionChanged(engine::Interpreter& interp, const std::string& before) {
  NvmeTarget target = CurrentAtaTarget(interp);
  std::array<uint8_t, 512> identify{};
  if (!target || disk::AtaIdentifyData(*target.tree, *target.disk, identify) != code::kSuccessTrue) return false;
  return disk::ParseAtaIdentity(identify).firmware != before;
}

// UpdateFW( File:"", ActiveNow:FALSE );  both by position.
void UpdateFW(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"File", "ActiveNow"});
  std::string file = in.Text("");
  const bool activeNow = in.Bool(false);
  if (!in.ok()) return;
  NvmeTarget target = CurrentAtaTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  std::string path;
  std::optional<std::vector<uint8_t>> image = ReadFirmwareFile(interp, view, file, path);
  if (!image) return;
  const std::string name = platform::FileNameOf(path);
  if (image->empty()) return interp.ReportCompletion(view, code::kFileSizeFailed, name);
  // A length that is no multiple of 512 would lose its tail in the block count.
  if (image->size() % disk::kAtaSectorBytes != 0)
    return interp.ReportCompletion(view, code::kBadParameter,
                                   Format("%s: %zu bytes, not a multiple of 512", name.c_str(), image->size()));
  std::array<uint8_t, 512> identify{};
  if (disk::AtaIdentifyData(*target.tree, *target.disk, identify) != code::kSuccessTrue)
    return interp.ReportCompletion(view, code::kReadFailed, "IDENTIFY DEVICE");
  const std::string revisionBefore = disk::ParseAtaIdentity(identify).firmware;
  const MicrocodePlan plan = PlanMicrocode(image->size(), identify);
  if (plan.code != 0) return interp.ReportCompletion(view, plan.code, plan.detail);
  const uint32_t pieceBlocks = plan.pieceBlocks;
  const uint32_t totalBlocks = plan.totalBlocks;

  ProgressLine progress(interp, view);
  bool lastPieceFailed = false;
  for (uint32_t at = 0; at < totalBlocks; at += pieceBlocks) {
    const uint32_t blocks = std::min(pieceBlocks, totalBlocks - at);
    const bool last = at + blocks == totalBlocks;
    // The block count's high byte rides in LBA bits 0-7, the offset in blocks in bits 8-23.
    const disk::AtaTaskFile tf =
        disk::TaskFile(disk::kAtaDownloadMicrocode, disk::ata_flag::kPioOut, (uint64_t{at} << 8) | (blocks >> 8),
                       blocks & 0xFF, kDownloadWithOffsets);
    std::span<uint8_t> piece(image->data() + size_t{at} * disk::kAtaSectorBytes, size_t{blocks} * disk::kAtaSectorBytes);
    const int32_t rc = disk::AtaCommand(*target.tree, *target.disk, tf, piece);
    if (rc < 0 && !last) return interp.ReportCompletion(view, code::kUpdateFwFailed, Format("at block %u", at));
    // Drives that switch to the new code at the last piece may answer it with an error: the new
    // revision decides (below).
    if (rc < 0) {
      lastPieceFailed = true;
      DetailLine(interp, view, "The drive answered the last piece with an error", engine::colour::kOrange);
    }
    progress.Show(Format("Update Progress: %d%%", static_cast<int>(uint64_t{at + blocks} * 100 / totalBlocks)));
    interp.ui().ShowProgress(view, static_cast<int64_t>(uint64_t{at + blocks} * 100 / totalBlocks), 0);
    interp.host().SleepMs(kBetweenPiecesMs);
  }
  if (!Pause(interp, view, kSettleMs)) return;
  bool activationFailed = false;
  if (activeNow) {
    activationFailed = disk::AtaActivateMicrocode(*target.tree, *target.disk) != code::kSuccessTrue;
    if (!Pause(interp, view, kSettleMs)) return;
  }
  std::string why;
  if (engine::WaitAtBarrier(interp, view, kBarrierSeconds, why) == engine::BarrierWaitResult::kFailed)
    DetailLine(interp, view, why, engine::colour::kOrange);
  if (activationFailed) return interp.ReportCompletion(view, code::kActivateFwFailed, "");
  if (activeNow && !WaitForActivation(interp, view)) return;
  if (lastPieceFailed && !RevisionChanged(interp, revisionBefore))
    interp.ReportCompletion(view, code::kUpdateFwFailed, "the last piece failed and the revision is still " +
                                                         revisionBefore);
}

void FWActive(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  NvmeTarget target = CurrentAtaTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  if (disk::AtaActivateMicrocode(*target.tree, *target.disk) != code::kSuccessTrue)
    interp.ReportCompletion(view, code::kActivateFwFailed, "");
}

constexpr engine::HandlerRow kHandlers[] = {
    {"UpdateFW", engine::kSataOnly, UpdateFW},
    {"FWActive", engine::kSataOnly, FWActive},
};

}  // namespace

std::span<const engine::HandlerRow> AtaFirmwareHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
