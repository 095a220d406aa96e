// The IOPS ceiling of one simulated drive: every queued request on the drive, from any queue, asks
// for the time at which the drive starts to serve it, and the starts are at least 1/iops seconds
// apart. An idle drive saves nothing up: a request that finds it idle starts at once. Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>

namespace kestrune::sim {

class QueuePacer {
 public:
  explicit QueuePacer(uint32_t iops) : iops_(iops) {}

  // The tick (of a clock with tickFrequency ticks a second) at which a request that arrives at tick
  // issue is served; issue itself without a ceiling.
  uint64_t Start(uint64_t issue, uint64_t tickFrequency);

 private:
  const uint32_t iops_;
  std::mutex mutex_;
  double next_ = 0;  // the earliest start of the next request, in ticks
};

}  // namespace kestrune::sim
