#include "workloads/byte_range.h"

#include <algorithm>

#include "workloads/job_stats.h"

namespace kestrune::workloads {

std::optional<ByteRange> ToDiskEnd(uint64_t lba, uint32_t sectorSize, uint64_t capacityBytes) {
  if (sectorSize == 0) return std::nullopt;
  const uint64_t diskEnd = capacityBytes / sectorSize * sectorSize;
  uint64_t first;
  if (__builtin_mul_overflow(lba, sectorSize, &first) || first >= diskEnd) return std::nullopt;
  return ByteRange{first, diskEnd};
}

uint32_t RequestLength(const ByteRange& range, uint64_t offset, uint32_t maxBytes) {
  if (offset >= range.end) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(range.end - offset, maxBytes));
}

bool PercentTracker::Advance(uint64_t offset) {
  const uint64_t done = offset <= range_.first ? 0 : std::min(offset, range_.end) - range_.first;
  const uint32_t now = PercentOf(done, range_.size());
  if (now == percent_) return false;
  percent_ = now;
  return true;
}

}  // namespace kestrune::workloads
