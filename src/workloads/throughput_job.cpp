#include "workloads/throughput_job.h"

namespace kestrune::workloads {
namespace {

// Takes size bytes from offset while it has not passed endOffset; the value before the take, or
// nullopt.
std::optional<uint64_t> Take(std::atomic<uint64_t>& offset, uint64_t endOffset, uint32_t size) {
  uint64_t current = offset.load();
  while (current <= endOffset)
    if (offset.compare_exchange_weak(current, current + size)) return current;
  return std::nullopt;
}

}  // namespace

bool BeginCycle(ThroughputJob& job) {
  if (!RestartCycle(job.state)) return false;
  job.writeBytes = 0;
  job.readBytes = 0;
  job.cycleBytes = 0;
  job.progress = false;
  job.seqOffset = job.geometry.startOffset;
  job.passedSlots = 0;
  return true;
}

void ResetSlot(const ThroughputJob& job, SlotCursor& slot) { slot = {job.geometry.startOffset, false}; }

std::optional<uint64_t> TakeSequentialOffset(ThroughputJob& job, uint32_t size) {
  return Take(job.seqOffset, job.geometry.endOffset, size);
}

std::optional<uint64_t> TakeSlotOffset(ThroughputJob& job, SlotCursor& slot, uint32_t size) {
  std::optional<uint64_t> taken;
  if (slot.offset <= job.geometry.endOffset) {
    taken = slot.offset;
    slot.offset += size;
  }
  if (!slot.passed && slot.offset > job.geometry.endOffset) {
    slot.passed = true;
    job.passedSlots.fetch_add(1);
  }
  return taken;
}

bool CountIssue(ThroughputJob& job, bool write, uint32_t size, uint64_t offset) {
  const uint64_t limit = job.geometry.limitBytes;
  uint64_t before = job.jobBytes.load();
  do {
    if (limit != 0 && before >= limit) return false;
  } while (!job.jobBytes.compare_exchange_weak(before, before + size));
  (write ? job.writeBytes : job.readBytes).fetch_add(size);
  job.cycleBytes.fetch_add(size);
  job.lastOffset = offset;
  job.progress = true;
  return true;
}

JobState StateAfterIssue(const ThroughputJob& job) {
  const JobGeometry& g = job.geometry;
  if (g.limitBytes != 0 && job.jobBytes.load() >= g.limitBytes) return JobState::TransferLimit;
  if (job.cycleBytes.load() >= g.rangeBytes) return JobState::CycleDone;
  if (g.randomRatio == 0) {
    const bool passed =
        g.perWorker ? job.passedSlots.load() >= g.slotCount : job.seqOffset.load() > g.endOffset;
    if (passed) return JobState::CycleDone;
  }
  return JobState::Running;
}

void CountCompletion(ThroughputJob& job, uint64_t latencyTicks) {
  job.buckets.Add(BucketIndex(job.bucketLimits, latencyTicks));
}

ByteCounters ReadCounters(const ThroughputJob& job) {
  return {job.writeBytes.load(), job.readBytes.load(), job.cycleBytes.load(), job.jobBytes.load()};
}

}  // namespace kestrune::workloads
