#include "workloads/latency_buckets.h"

#include <algorithm>

namespace kestrune::workloads {

BucketLimits MakeBucketLimits(uint64_t tickFrequency) {
  BucketLimits limits{};
  for (size_t i = 0; i < limits.size(); ++i)
    limits[i] =
        static_cast<uint64_t>(static_cast<unsigned __int128>(tickFrequency) * kLatencyBoundsUs[i] / 1000000u);
  return limits;
}

size_t BucketIndex(const BucketLimits& limits, uint64_t latencyTicks) {
  return static_cast<size_t>(std::upper_bound(limits.begin(), limits.end(), latencyTicks) - limits.begin());
}

}  // namespace kestrune::workloads
