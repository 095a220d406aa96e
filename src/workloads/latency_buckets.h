// The 17 latency buckets of the throughput engine: 16 upper bounds in microseconds and a last bucket
// without bound. A request's latency goes to the first bucket whose bound is greater than it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace kestrune::workloads {

inline constexpr size_t kLatencyBucketCount = 17;
inline constexpr std::array<uint64_t, kLatencyBucketCount - 1> kLatencyBoundsUs = {
    50, 100, 200, 500, 1000, 2000, 5000, 10000, 15000, 20000, 30000, 50000, 100000, 200000, 500000, 1000000};

// The bounds in ticks of a counter of tickFrequency per second: frequency x bound / 1,000,000.
using BucketLimits = std::array<uint64_t, kLatencyBucketCount - 1>;
BucketLimits MakeBucketLimits(uint64_t tickFrequency);

// The bucket of a latency in ticks: the first whose limit is greater, else the last one.
size_t BucketIndex(const BucketLimits& limits, uint64_t latencyTicks);

// Completed requests per bucket, counted from any thread with one atomic increment.
struct BucketCounts {
  std::array<std::atomic<uint64_t>, kLatencyBucketCount> count{};

  void Add(size_t bucket) { count[bucket].fetch_add(1, std::memory_order_relaxed); }
  void Clear() {
    for (auto& c : count) c.store(0, std::memory_order_relaxed);
  }
};

}  // namespace kestrune::workloads
