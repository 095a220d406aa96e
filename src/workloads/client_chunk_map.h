// Where the client trace's requests land in the target range. The trace addresses 6106 chunks of
// 40960 sectors; the target range holds D = range MiB x 2048 / 40960 + 1 chunks. The U chunks the
// trace uses are packed together and the C unused ones squeezed between them by the cold scale
// E = (D - U) x 100 / C (0 when U >= D or C = 0): chunk j goes to target chunk
// (E x (unused chunks before j) / 100 + (used chunks before j)) mod D. A request keeps its place
// inside its chunk, is widened to whole sectors of the target, and never leaves the range: one that
// would run past its end starts again at the range's start, or ends at the range's end.
#pragma once

#include <cstdint>
#include <vector>

#include "workloads/client_trace.h"

namespace kestrune::workloads {

struct ClientScale {
  uint64_t targetChunks = 0;  // D
  uint32_t usedChunks = 0;    // U
  uint32_t unusedChunks = 0;  // C
  uint64_t scale = 0;         // E, in hundredths
};

// The scale of a trace with these used chunks over a range of rangeMiB.
ClientScale ScaleFor(const std::vector<bool>& usedChunks, uint64_t rangeMiB);

// A request on the target: byte offset and length, whole sectors of the target.
struct TargetExtent {
  uint64_t offset = 0;
  uint64_t length = 0;
};

class ClientChunkMap {
 public:
  // rangeBytes from startByte (both whole sectors of sectorSize) is the target range.
  ClientChunkMap(const std::vector<bool>& usedChunks, uint64_t startByte, uint64_t rangeBytes,
                 uint32_t sectorSize);

  const ClientScale& scale() const { return scale_; }
  uint64_t TargetChunkOf(uint64_t traceChunk) const { return targets_[traceChunk]; }
  // The target bytes of a write or trim of the trace (its LBA and count inside the trace's device).
  TargetExtent Map(const TraceRequest& request) const;

 private:
  ClientScale scale_;
  std::vector<uint64_t> targets_;
  uint64_t startByte_;
  uint64_t rangeBytes_;
  uint32_t sectorSize_;
};

}  // namespace kestrune::workloads
