#include "disk/target_mode.h"

#include "base/completion_codes.h"

namespace kestrune::disk {

namespace code = base::code;

TargetMode ModeOf(const DiskEntry& entry) {
  if (entry.entryKind == EntryKind::kVolume) return TargetMode::kPartition;
  return entry.raw ? TargetMode::kRaw : TargetMode::kWholeDiskWithVolumes;
}

int32_t RequireRaw(const DiskEntry& entry) {
  return ModeOf(entry) == TargetMode::kRaw ? 0 : code::kRawModeOnly;
}

int32_t RequireRawOrPartition(const DiskEntry& entry) {
  return ModeOf(entry) == TargetMode::kWholeDiskWithVolumes ? code::kRawOrPartitionOnly : 0;
}

int32_t RequirePartition(const DiskEntry& entry) {
  return ModeOf(entry) == TargetMode::kPartition ? 0 : code::kNoPartitionFound;
}

int32_t RequireNotSystemDisk(const DiskEntry& entry) {
  return entry.systemDisk ? code::kRawOrPartitionOnly : 0;
}

}  // namespace kestrune::disk
