// Target modes of the current disk and the guard codes that the commands check before they touch
// the disk: RAW (a whole disk without drive letters), partition (one volume of a disk) and whole
// disk with volumes (destructive sector work is refused there).
#pragma once

#include <cstdint>

#include "base/completion_codes.h"
#include "disk/disk_entry.h"

namespace kestrune::disk {

enum class TargetMode : uint8_t { kRaw, kPartition, kWholeDiskWithVolumes };

// The details the ATA write commands and the external commands give with the guards.
inline constexpr const char* kRawModeAdvice = "Use ChangeDisk() or Partition_Delete() then try again.";
inline constexpr const char* kPartitionAdvice = "Use ChangeDisk() or Partition_Create() then try again.";

// A volume entry is a partition; a physical entry is RAW when it carries no drive letters.
TargetMode ModeOf(const DiskEntry& entry);

// The guards: 0 when entry passes, else the guard code.
int32_t RequireRaw(const DiskEntry& entry);             // -20 unless RAW
int32_t RequireRawOrPartition(const DiskEntry& entry);  // -22 for a whole disk with volumes
int32_t RequirePartition(const DiskEntry& entry);       // -24 unless a partition

// Sector writes and trims of any mode: -22 for the disk that holds the running system (writing
// there would destroy the test PC), else 0.
int32_t RequireNotSystemDisk(const DiskEntry& entry);

}  // namespace kestrune::disk
