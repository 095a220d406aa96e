// Exact latency percentiles beside the 17 buckets: a log-linear histogram of latencies in ticks.
// Values below 256 are kept exactly; above, every power of two is cut into 128 equal parts, so a
// reported value is within 1/256 (under 0.4%) of the true one. One histogram per worker and
// direction; the coordinator merges them when the workers have ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::workloads {

class LatencyHistogram {
 public:
  LatencyHistogram();

  // Counts one latency. Not thread-safe.
  void Record(uint64_t ticks);
  // Adds every count of other.
  void Merge(const LatencyHistogram& other);
  void Clear();

  uint64_t count() const { return count_; }
  uint64_t max() const { return max_; }
  // The exact mean of the counted latencies; 0 when nothing was counted.
  double mean() const { return count_ == 0 ? 0.0 : static_cast<double>(sum_) / static_cast<double>(count_); }
  // The latency at or below which per100k / 100,000 of the counted latencies lie (the smallest such
  // value, within the histogram's resolution and never above max()); 0 when nothing was counted.
  uint64_t AtPercentile(uint32_t per100k) const;

 private:
  std::vector<uint64_t> counts_;
  uint64_t count_ = 0;
  unsigned __int128 sum_ = 0;
  uint64_t min_ = UINT64_MAX;
  uint64_t max_ = 0;
};

// "p50|p99|p99.9|p99.99|Max" in microseconds with two decimals ("0.00" each without requests), from
// ticks of a counter of tickFrequency per second.
std::string LatencyFields(const LatencyHistogram& histogram, uint64_t tickFrequency);

// The summary lines "Read Latency(us)  : ..." and "Write Latency(us) : ..." with LatencyFields.
std::string ReadLatencyLine(const LatencyHistogram& histogram, uint64_t tickFrequency);
std::string WriteLatencyLine(const LatencyHistogram& histogram, uint64_t tickFrequency);

}  // namespace kestrune::workloads
