// The capacity a drive is labelled with, in GB, by the IDEMA disk-capacity rule.
#pragma once

#include <cstdint>

#include "disk/disk_entry.h"
#include "platform/device.h"

namespace kestrune::disk {

// Bytes from which the rule stops using the IDEMA LBA formulas (8,001 GB and up).
inline constexpr uint64_t kIdemaFormulaLimit = 8001563222017ULL;

// The label of a drive of bytes with sectorSize-byte sectors: 0 for no sector size or less than
// 10^9 bytes; below kIdemaFormulaLimit (sectors - 21168) / 1953504 for 512-byte sectors,
// (sectors - 2646) / 244188 for 4096-byte sectors, bytes / 10^9 otherwise; from the limit on
// sectorSize * sectors / 10^9, where a spare-area ratio r > 0 first scales the sectors by
// (sectorSize + r) * 1000 / sectorSize / 995. Exact integer arithmetic throughout.
uint64_t CapacityGB(uint64_t bytes, uint32_t sectorSize, uint32_t spareRatio = 0);

// Opens the entry's physicalPath and labels the length and sector size the drive reports;
// 0 when it does not open or does not tell.
uint64_t CapacityLabelOf(platform::DeviceTree& tree, const DiskEntry& entry);

}  // namespace kestrune::disk
