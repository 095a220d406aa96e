#include "devcmd/firmware_plan.h"

#include <algorithm>
#include <memory>
#include <numeric>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/firmware_image.h"
#include "disk/ata_identity.h"
#include "disk/ata_task_file.h"
#include "disk/nvme_operations.h"
#include "disk/system_transfer_limit.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;

constexpr uint32_t kMinPageBytes = 4096;
constexpr uint8_t kNoGranularity = 0xFF;
constexpr uint32_t kReadOnlySlot = 1;

}  // namespace

FirmwareCaps ReadFirmwareCaps(const uint8_t* id) {
  FirmwareCaps c;
  c.mdts = id[77];
  c.frmw = id[260];
  c.mtfa = base::GetLe16(id + 270);
  c.fwug = id[319];
  return c;
}

uint32_t RouteTransferLimit(disk::DiskKind kind) {
  switch (kind) {
    case disk::DiskKind::kRtl9210:
    case disk::DiskKind::kRtl9210B:
      return static_cast<uint32_t>(disk::kMaxRtl9210Bytes);
    case disk::DiskKind::kJmi:
      return static_cast<uint32_t>(disk::kMaxJmicronBytes);
    default:
      return 0;
  }
}

DownloadPlan PlanDownload(const FirmwareCaps& caps, disk::DiskKind kind, uint64_t imageBytes, uint32_t slot,
                          platform::TransferLimit system) {
  DownloadPlan p;
  auto refuse = [&](std::string detail) {
    p.code = code::kBadParameter;
    p.detail = std::move(detail);
    return p;
  };
  const uint8_t count = caps.slotCount();
  if (slot > count) return refuse(base::Format("Slot %u beyond the drive's %u firmware slots", slot, count));
  p.slot = static_cast<uint8_t>(slot);
  if (slot == kReadOnlySlot && caps.slot1ReadOnly()) {
    if (count < 2) return refuse("Slot 1 is read-only and the drive has no other slot");
    p.slot = 2;
  }
  if (system.maxBytes != 0 && system.maxBytes < kMinPageBytes)
    return refuse(base::Format("the system's route carries %u bytes a transfer, below %u", system.maxBytes, kMinPageBytes));
  const uint64_t granularity =
      caps.fwug == 0 || caps.fwug == kNoGranularity ? kFirmwarePieceBytes : uint64_t{caps.fwug} * kMinPageBytes;
  uint64_t limit = UINT32_MAX;
  if (caps.mdts != 0 && caps.mdts < 20) limit = std::min<uint64_t>(limit, uint64_t{kMinPageBytes} << caps.mdts);
  if (const uint32_t route = RouteTransferLimit(kind); route != 0) limit = std::min<uint64_t>(limit, route);
  if (granularity > limit) {
    return refuse(base::Format("FW granularity %llu bytes above the %llu bytes a transfer carries",
                               static_cast<unsigned long long>(granularity), static_cast<unsigned long long>(limit)));
  }
  // The system's alignment joins the granularity: the smallest piece that keeps both.
  const uint64_t piece = system.alignment != 0 ? std::lcm(granularity, uint64_t{system.alignment}) : granularity;
  if (system.alignment != 0 && (piece > limit || imageBytes % system.alignment != 0)) {
    return refuse(base::Format("FW pieces of %llu bytes cannot keep the system's %u-byte alignment",
                               static_cast<unsigned long long>(granularity), system.alignment));
  }
  if (system.maxBytes != 0 && piece > system.maxBytes) {
    return refuse(base::Format("FW pieces of %llu bytes above the %u bytes the system's route carries",
                               static_cast<unsigned long long>(piece), system.maxBytes));
  }
  if (imageBytes > UINT32_MAX) return refuse("FW image too large");
  p.pieceBytes = static_cast<uint32_t>(piece);
  for (uint64_t at = 0; at < imageBytes; at += piece)
    p.pieces.push_back({static_cast<uint32_t>(at), static_cast<uint32_t>(std::min(piece, imageBytes - at))});
  return p;
}

DownloadPlan PlanDiskDownload(platform::DeviceTree& tree, const disk::DiskEntry& disk, const FirmwareCaps& caps,
                              uint64_t imageBytes, uint32_t slot) {
  platform::TransferLimit system;
  if (std::unique_ptr<platform::Device> device = tree.Open(disk::NvmePathOf(disk), platform::OpenAccess::kRead))
    system = disk::SystemFirmwareLimit(*device, disk);
  return PlanDownload(caps, disk.diskKind, imageBytes, slot, system);
}

uint8_t ChooseCommitAction(uint32_t commit, uint32_t configType, disk::DiskKind kind,
                           std::string_view firmwareRevision, std::string_view versionMarker) {
  if (commit != 0) return static_cast<uint8_t>(commit);
  if (kind == disk::DiskKind::kNvm) return 3;
  if (configType == 0 && !versionMarker.empty() && firmwareRevision.find(versionMarker) != std::string_view::npos)
    return 3;
  return 1;
}

MicrocodePlan PlanMicrocode(size_t imageBytes, std::span<const uint8_t> identify) {
  // Words 234 and 235: the fewest and the most 512-byte blocks one DOWNLOAD MICROCODE takes; 0 and
  // FFFFh say nothing.
  auto given = [](uint16_t w) { return w != 0 && w != 0xFFFF; };
  const uint16_t lo = disk::IdentifyWord(identify, 234), hi = disk::IdentifyWord(identify, 235);
  uint32_t minBlocks = 1, maxBlocks = kMostMicrocodePieceBytes / disk::kAtaSectorBytes;
  if (given(lo)) minBlocks = lo;
  if (given(hi)) maxBlocks = std::min<uint32_t>(hi, maxBlocks);
  MicrocodePlan plan;
  plan.pieceBlocks = maxBlocks;
  plan.totalBlocks = static_cast<uint32_t>(imageBytes / disk::kAtaSectorBytes);
  if (minBlocks > maxBlocks || (plan.totalBlocks % maxBlocks != 0 && plan.totalBlocks % maxBlocks < minBlocks)) {
    plan.code = base::code::kBadParameter;
    plan.detail = base::Format("the drive takes DOWNLOAD MICROCODE pieces of %u to %u blocks", minBlocks, maxBlocks);
  }
  return plan;
}

}  // namespace kestrune::devcmd
