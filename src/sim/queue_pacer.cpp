#include "sim/queue_pacer.h"

#include <algorithm>
#include <cmath>

namespace kestrune::sim {

uint64_t QueuePacer::Start(uint64_t issue, uint64_t tickFrequency) {
  if (iops_ == 0) return issue;
  std::lock_guard lock(mutex_);
  const double start = std::max(next_, static_cast<double>(issue));
  next_ = start + static_cast<double>(tickFrequency) / iops_;
  return static_cast<uint64_t>(std::ceil(start));
}

}  // namespace kestrune::sim
