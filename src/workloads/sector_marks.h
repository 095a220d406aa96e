// Which header mark a test stamps on its sectors, as one value, over the mark layouts of
// disk/pattern_fill.h; and the expected contents of one sector, as the dump of a miscompare shows it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kestrune::workloads {

struct SectorMark {
  enum class Layout { None, Short, Long, Extended };
  Layout layout = Layout::None;
  uint64_t sequence = 0;   // Long: the write sequence number of the request
  uint64_t firstTag = 0;   // Extended: written only when not 0
  uint64_t secondTag = 0;  // Extended: written only when not 0
};

// Stamps mark on every sector of buffer, the first one being firstLba.
void StampMarks(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t sectorSize, const SectorMark& mark);

// One sector as a write of patternUsed (the value a fill reported, laid big-endian; never drawn
// again) with mark left it at lba.
std::vector<uint8_t> ExpectedSector(uint32_t patternUsed, uint64_t lba, uint32_t sectorSize,
                                    const SectorMark& mark);

}  // namespace kestrune::workloads
