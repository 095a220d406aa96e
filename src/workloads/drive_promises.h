// What a drive says of itself that a map compare relies on: what a trimmed sector reads back (NVMe
// Identify Namespace DLFEAT, ATA IDENTIFY word 69) and whether its volatile write cache is off (NVMe
// Volatile Write Cache feature, ATA IDENTIFY word 85), so that a completed write is already durable.
#pragma once

#include <cstdint>

#include "disk/disk_entry.h"
#include "platform/device.h"
#include "workloads/lba_map_file.h"

namespace kestrune::workloads {

// DLFEAT (Identify Namespace byte 33) bits 2:0: 001b zeros, 010b all FFh, anything else no promise.
TrimPromise NvmeTrimPromise(uint8_t dlfeat);
// IDENTIFY word 69: bit 14 (deterministic data after trim) with bit 5 (zeroed data) promises zeros;
// deterministic data alone names no value.
TrimPromise AtaTrimPromise(uint16_t word69);

// The promise of the disk as its identify data gives it; no promise when the disk has no identify
// command or it fails.
TrimPromise ReadTrimPromise(platform::DeviceTree& tree, const disk::DiskEntry& disk);

// True only when the drive says its write cache is off (or it has none); a failed query counts as on.
bool WriteCacheOff(platform::DeviceTree& tree, const disk::DiskEntry& disk);

}  // namespace kestrune::workloads
