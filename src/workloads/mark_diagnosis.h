// What a miscompare's sector marks say about its cause. Every written sector starts with its LBA
// (bytes 0-7, big-endian) and, in long and extended marks, the write that put it there (bytes
// 8-15), so a sector that reads back wrong usually tells where its contents came from:
//   foreign      the mark names another LBA: the data was written to the wrong place (misdirected)
//   stale        its own LBA, an older write: the last write was lost
//   torn         sectors of one request come from different writes
//   deallocated  all zeros or all ones: the block was trimmed or never written
//   corrupt      the right mark, k bits wrong in the data
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kestrune::workloads {

struct MarkedBlock {
  std::span<const uint8_t> expected;  // as written: pattern and marks
  std::span<const uint8_t> actual;    // as read
  uint32_t sectorSize = 512;
  bool lbaMarks = true;        // bytes 0-7 hold the sector's LBA (every mark)
  bool sequenceMarks = false;  // bytes 8-15 hold the write sequence (long marks)
};

// The cause of the first differing sector of block, or "" when the block reads as written.
// "foreign (mark names LBA 0x%llX: misdirected)", "stale (own LBA, older write %llu)",
// "torn (sectors %zu..%zu from other writes)", "deallocated", "corrupt (%zu bits)".
std::string DiagnoseMiscompare(const MarkedBlock& block);

}  // namespace kestrune::workloads
