#include "workloads/map_durability.h"

#include <utility>

namespace kestrune::workloads {

DurabilityTracker::DurabilityTracker(uint64_t entries, bool cacheOff)
    : durable_(entries, false), cacheOff_(cacheOff) {}

void DurabilityTracker::Issued(uint64_t entry, MapKind kind) {
  if (kind != MapKind::kFlush) return;
  flushCovers_[entry] = std::exchange(volatile_, {});
}

void DurabilityTracker::Completed(uint64_t entry, MapKind kind) {
  if (entry >= durable_.size()) return;
  if (kind == MapKind::kFlush) {
    const auto covered = flushCovers_.find(entry);
    if (covered != flushCovers_.end()) {
      for (uint64_t e : covered->second) MakeDurable(e);
      flushCovers_.erase(covered);
    }
    MakeDurable(entry);
  } else if (kind == MapKind::kFuaWrite || cacheOff_) {
    MakeDurable(entry);
  } else {
    volatile_.push_back(entry);
  }
  while (prefix_ < durable_.size() && durable_[prefix_]) ++prefix_;
}

void DurabilityTracker::MakeDurable(uint64_t entry) {
  if (entry < durable_.size()) durable_[entry] = true;
}

}  // namespace kestrune::workloads
