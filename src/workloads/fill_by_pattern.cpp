#include "workloads/fill_by_pattern.h"

#include "base/text.h"
#include "disk/pattern_fill.h"

namespace kestrune::workloads {

std::optional<ByteRange> FillRange(uint64_t lba, uint64_t range, bool rangeInMiB, uint32_t sectorSize,
                                   uint64_t capacityBytes) {
  std::optional<ByteRange> toEnd = ToDiskEnd(lba, sectorSize, capacityBytes);
  uint64_t bytes;
  if (!toEnd || range == 0 || __builtin_mul_overflow(range, rangeInMiB ? kMiB : sectorSize, &bytes) ||
      bytes > toEnd->size())
    return toEnd;
  return ByteRange{toEnd->first, toEnd->first + bytes};
}

void MarkFillRequest(std::span<uint8_t> request, uint64_t offset, uint32_t sectorSize) {
  if (sectorSize != 0) disk::StampShortMarks(request, offset / sectorSize, sectorSize);
}

std::string PatternLine(uint32_t patternUsed) { return base::Format("Pattern     : 0x%08X", patternUsed); }

std::string FillProgressLine(uint32_t percent) { return base::Format("Full By Pattern : %u%%", percent); }

}  // namespace kestrune::workloads
