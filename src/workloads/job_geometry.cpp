#include "workloads/job_geometry.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "workloads/worker_split.h"

namespace kestrune::workloads {
namespace {

// a x b, or nullopt when it does not fit in 64 bits.
std::optional<uint64_t> Times(uint64_t a, uint64_t b) {
  uint64_t product;
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}

}  // namespace

std::optional<JobGeometry> MakeJobGeometry(const JobRequest& r) {
  if (r.accessSize == 0 || r.sectorSize == 0) return std::nullopt;
  const uint64_t copies = r.perWorker ? std::max<uint32_t>(r.queueDepth, 1) : 1;
  const auto start = Times(r.lba, r.sectorSize);
  const uint64_t range = uint64_t{r.rangeLenMB} * kMiB;
  const auto cycle = Times(range, copies);
  const auto limit = Times(r.limitMB, kMiB);
  const auto limitAll = limit ? Times(*limit, copies) : std::nullopt;
  if (!start || !cycle || !limitAll) return std::nullopt;
  // endOffset = start + range - accessSize must lie past start: a smaller range would underflow.
  if (range <= r.accessSize || *start > std::numeric_limits<uint64_t>::max() - range) return std::nullopt;

  JobGeometry g;
  g.startOffset = *start;
  g.endOffset = *start + range - r.accessSize;
  g.passBytes = range;
  g.rangeBytes = *cycle;
  g.limitBytes = *limitAll / r.accessSize * r.accessSize;
  g.accessSize = r.accessSize;
  g.accessSpan = std::min(r.accessSpan, r.accessSize);
  g.alignment = r.sectorSize;
  g.writeRatio = r.writeRatio;
  g.randomRatio = r.randomRatio;
  const auto slots = SlotsPerWorker(r.processors, r.queueDepth);
  g.slotCount = std::accumulate(slots.begin(), slots.end(), 0u);
  g.perWorker = r.perWorker;
  return g;
}

uint32_t NextRequestSize(const JobGeometry& g, Generator& generator) {
  if (g.accessSpan == 0) return g.accessSize;
  const uint32_t drawn = g.accessSize - g.accessSpan + generator.Below(g.accessSpan);
  return std::max(drawn / g.alignment * g.alignment, g.alignment);
}

uint64_t NextRandomOffset(const JobGeometry& g, Generator& generator) {
  // passBytes rather than rangeBytes: in per-worker mode a cycle is QD walks over the same range.
  return g.startOffset + uint64_t{g.accessSize} * RandomBlock(generator, g.passBytes / g.accessSize);
}

}  // namespace kestrune::workloads
