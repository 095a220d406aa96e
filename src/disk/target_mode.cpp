#include "disk/target_mode.h"

namespace kestrune::disk {

TargetMode ModeOf(const DiskEntry& entry) {
  if (entry.entryKind == EntryKind::kVolume) return TargetMode::kPartition;
  return entry.raw ? TargetMode::kRaw : TargetMode::kWholeDiskWithVolumes;
}

int32_t RequireRaw(const DiskEntry& entry) { return ModeOf(entry) == TargetMode::kRaw ? 0 : kNeedsRaw; }

int32_t RequireRawOrPartition(const DiskEntry& entry) {
  return ModeOf(entry) == TargetMode::kWholeDiskWithVolumes ? kNeedsRawOrPartition : 0;
}

int32_t RequirePartition(const DiskEntry& entry) {
  return ModeOf(entry) == TargetMode::kPartition ? 0 : kNeedsPartition;
}

int32_t RequireNotSystemDisk(const DiskEntry& entry) { return entry.systemDisk ? kNeedsRawOrPartition : 0; }

}  // namespace kestrune::disk
