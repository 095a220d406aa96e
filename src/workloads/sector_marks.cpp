#include "workloads/sector_marks.h"

#include "disk/pattern_fill.h"

namespace kestrune::workloads {

void StampMarks(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t sectorSize, const SectorMark& mark) {
  switch (mark.layout) {
    case SectorMark::Layout::None:
      return;
    case SectorMark::Layout::Short:
      return disk::StampShortMarks(buffer, firstLba, sectorSize);
    case SectorMark::Layout::Long:
      return disk::StampLongMarks(buffer, firstLba, sectorSize, mark.sequence);
    case SectorMark::Layout::Extended:
      return disk::StampExtendedMarks(buffer, firstLba, sectorSize, mark.firstTag, mark.secondTag);
  }
}

std::vector<uint8_t> ExpectedSector(uint32_t patternUsed, uint64_t lba, uint32_t sectorSize,
                                    const SectorMark& mark) {
  std::vector<uint8_t> sector(sectorSize);
  disk::LayPattern(sector, patternUsed);
  StampMarks(sector, lba, sectorSize, mark);
  return sector;
}

}  // namespace kestrune::workloads
