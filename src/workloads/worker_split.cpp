#include "workloads/worker_split.h"

#include <algorithm>

namespace kestrune::workloads {

std::vector<uint32_t> SlotsPerWorker(uint32_t processors, uint32_t queueDepth) {
  const uint32_t p = std::max<uint32_t>(processors, 1);
  const uint32_t qd = std::max<uint32_t>(queueDepth, 1);
  std::vector<uint32_t> slots(std::min(p, qd));
  for (uint32_t i = 0; i < slots.size(); ++i)
    slots[i] = std::min(qd / p + (i < qd % p ? 1 : 0), kMaxSlotsPerWorker);
  return slots;
}

}  // namespace kestrune::workloads
