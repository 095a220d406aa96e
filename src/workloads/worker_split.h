// How a throughput job's queue depth is spread over worker threads.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrune::workloads {

// The most request slots one worker keeps in flight.
inline constexpr uint32_t kMaxSlotsPerWorker = 128;

// The request slots of each worker: one worker per processor when the queue depth is at least the
// processor count, else one per slot; worker i gets queueDepth / processors slots, one more when
// i < queueDepth mod processors, at most kMaxSlotsPerWorker. A processor count or queue depth of 0
// counts as 1.
std::vector<uint32_t> SlotsPerWorker(uint32_t processors, uint32_t queueDepth);

}  // namespace kestrune::workloads
