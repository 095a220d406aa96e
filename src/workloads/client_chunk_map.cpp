#include "workloads/client_chunk_map.h"

#include <algorithm>

#include "workloads/byte_range.h"

namespace kestrune::workloads {

ClientScale ScaleFor(const std::vector<bool>& usedChunks, uint64_t rangeMiB) {
  ClientScale s;
  s.targetChunks = rangeMiB * (kMiB / kTraceSectorBytes) / kTraceChunkSectors + 1;
  s.usedChunks = static_cast<uint32_t>(std::count(usedChunks.begin(), usedChunks.end(), true));
  s.unusedChunks = static_cast<uint32_t>(usedChunks.size()) - s.usedChunks;
  // A trace that uses every chunk has nothing to squeeze: no scale rather than a division by 0.
  if (s.usedChunks < s.targetChunks && s.unusedChunks != 0)
    s.scale = (s.targetChunks - s.usedChunks) * 100 / s.unusedChunks;
  return s;
}

ClientChunkMap::ClientChunkMap(const std::vector<bool>& usedChunks, uint64_t startByte, uint64_t rangeBytes,
                               uint32_t sectorSize)
    : scale_(ScaleFor(usedChunks, rangeBytes / kMiB)),
      startByte_(startByte),
      rangeBytes_(rangeBytes),
      sectorSize_(sectorSize) {
  uint64_t used = 0, unused = 0;
  targets_.reserve(usedChunks.size());
  for (bool u : usedChunks) {
    // More used chunks than the range holds: they wrap around it rather than run past its end.
    targets_.push_back((scale_.scale * unused / 100 + used) % scale_.targetChunks);
    ++(u ? used : unused);
  }
}

TargetExtent ClientChunkMap::Map(const TraceRequest& r) const {
  const uint64_t chunk = r.lba / kTraceChunkSectors;
  const uint64_t from =
      (targets_[chunk] * kTraceChunkSectors + r.lba % kTraceChunkSectors) * kTraceSectorBytes;
  const uint64_t to = from + r.sectors * kTraceSectorBytes;
  // Whole sectors of the target, widened outward (a 4096-byte sector holds eight of the trace's).
  uint64_t first = from / sectorSize_ * sectorSize_;
  uint64_t length = std::min((to + sectorSize_ - 1) / sectorSize_ * sectorSize_ - first, rangeBytes_);
  first %= rangeBytes_;
  if (first + length > rangeBytes_) first = rangeBytes_ - length;
  return {startByte_ + first, length};
}

}  // namespace kestrune::workloads
