// Where and how large the requests of a throughput job are: the byte offsets of its range, the bytes
// of one cycle and of the whole job, and the size and random offset of each request. All offsets and
// byte counts are 64-bit.
#pragma once

#include <cstdint>
#include <optional>

#include "workloads/byte_range.h"
#include "workloads/random_source.h"

namespace kestrune::workloads {

// What a handler asks of the throughput engine.
struct JobRequest {
  uint64_t lba = 0;
  uint32_t rangeLenMB = 0;
  uint32_t sectorSize = 512;
  uint32_t accessSize = 0;   // request size in bytes; for a size range its upper bound
  uint32_t accessSpan = 0;   // 0 for a fixed size; else the width of the size range in bytes
  uint32_t queueDepth = 1;   // QD, or the Worker value in per-worker mode
  uint32_t processors = 1;   // the processor count the slots are split by
  uint32_t writeRatio = 0;   // percent of requests that are writes
  uint32_t randomRatio = 0;  // percent of requests at random offsets
  uint64_t limitMB = 0;      // transfer limit of the job in MiB; 0 = none
  bool perWorker = false;    // every request slot walks the range on its own
};

// The fixed figures of a job, worked out once at its start.
struct JobGeometry {
  uint64_t startOffset = 0;  // LBA x sector size
  uint64_t endOffset = 0;    // the last offset at which a sequential request may start
  uint64_t passBytes = 0;    // one walk over the range: RangeLenMB MiB
  uint64_t rangeBytes = 0;   // bytes of one cycle: passBytes, times QD in per-worker mode
  uint64_t limitBytes =
      0;  // the job's transfer limit (times QD in per-worker mode), a multiple of accessSize
  uint32_t accessSize = 0;
  uint32_t accessSpan = 0;
  uint32_t alignment = 0;  // the sector size
  uint32_t writeRatio = 0;
  uint32_t randomRatio = 0;
  uint32_t slotCount = 0;  // request slots of all workers (QD, unless the per-worker cap cut it)
  bool perWorker = false;
};

// The geometry of a request, or nullopt where the engine ends with kBadParameter: a range no larger
// than one request (endOffset would not lie past startOffset; a range of 0 MiB is one of these), a
// request size or sector size of 0, or offsets beyond 64 bits.
std::optional<JobGeometry> MakeJobGeometry(const JobRequest& request);

// The size of the next request: accessSize for a fixed size; otherwise accessSize - accessSpan +
// random(accessSpan) rounded down to a multiple of the sector size, at least one sector.
uint32_t NextRequestSize(const JobGeometry& geometry, Generator& generator);

// A random request offset: startOffset + accessSize x random(passBytes / accessSize). It is never
// past endOffset.
uint64_t NextRandomOffset(const JobGeometry& geometry, Generator& generator);

}  // namespace kestrune::workloads
