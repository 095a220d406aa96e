// One input of the partition table reader's fuzzing: the first byte picks the sector size (512 or
// 4096) and claims a disk larger than the image (reads past the image's end fail, as on a short
// disk), so header fields pointing anywhere are reached. Shared by the libFuzzer target and the
// corpus test; returns what the reader answered.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "disk/layout/partition_table.h"

namespace kestrune::fuzz {

// The disk an input stands for: its sector size, the sectors the image holds and those it claims.
struct PartitionInput {
  uint32_t sectorSize = 512;
  std::span<const uint8_t> image;
  uint64_t imageSectors = 0;
  uint64_t diskSectors = 0;
};

inline PartitionInput DescribePartitionInput(const uint8_t* data, size_t size) {
  PartitionInput in;
  if (size < 1) return in;
  in.sectorSize = (data[0] & 1) ? 4096 : 512;
  in.image = std::span<const uint8_t>(data + 1, size - 1);
  in.imageSectors = in.image.size() / in.sectorSize;
  in.diskSectors = in.imageSectors + (data[0] >> 1) * 1000;  // up to 127,000 sectors more
  return in;
}

inline disk::TableRead RunPartitionInput(const uint8_t* data, size_t size, disk::PartitionTable& table) {
  if (size < 1) return {-2, "empty input"};
  const PartitionInput in = DescribePartitionInput(data, size);
  disk::SectorSource read = [&](uint64_t lba, uint32_t count, std::span<uint8_t> out) {
    if (out.size() != uint64_t{count} * in.sectorSize) __builtin_trap();  // the reader's own contract
    if (lba > in.imageSectors || count > in.imageSectors - lba) return false;
    std::memcpy(out.data(), in.image.data() + lba * in.sectorSize, out.size());
    return true;
  };
  return disk::ReadPartitionTable(read, in.sectorSize, in.diskSectors, table);
}

}  // namespace kestrune::fuzz
