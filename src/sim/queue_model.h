// How long a simulated drive takes to answer queued requests (sim_queue.h): a fixed latency, a
// random part on top, and a ceiling on the requests it completes per second over all its queues.
// Plain data, read from the lab file (QueueLatencyUs, QueueJitterUs, QueueIops).
#pragma once

#include <cstdint>

namespace kestrune::sim {

struct QueueModel {
  uint32_t latencyUs = 0;  // microseconds from issue to completion of every request
  uint32_t jitterUs = 0;   // plus a random 0 to jitterUs microseconds, drawn per request
  uint32_t iops = 0;       // requests per second the drive serves at most; 0: no ceiling
};

}  // namespace kestrune::sim
