// The record a throughput job's coordinator and workers share, and the counting rules they apply to
// it. The coordinator owns the record for the whole job; workers change it only through atomics.
// The target, the data buffer and the request blocks belong to the engine that runs the job.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "workloads/job_geometry.h"
#include "workloads/job_state.h"
#include "workloads/job_stats.h"
#include "workloads/latency_buckets.h"

namespace kestrune::workloads {

// Seconds without an issued request after which the job ends with ResponseTimeout.
inline constexpr uint32_t kIdleSecondsLimit = 30;
// Seconds the coordinator waits for workers after a cancel before it sets ForcedStop.
inline constexpr uint32_t kForcedStopSeconds = 10;

struct ThroughputJob {
  JobGeometry geometry;
  BucketLimits bucketLimits{};
  const std::atomic<bool>* cancelFlag = nullptr;  // the view's cancel flag; only read

  std::atomic<uint32_t> readyWorkers{0};  // workers started and not yet ended
  std::atomic<JobState> state{JobState::Running};
  std::atomic<uint64_t> seqOffset{0};    // the next sequential offset (shared mode)
  std::atomic<uint32_t> passedSlots{0};  // per-worker mode: slots whose offset has passed endOffset
  std::atomic<uint64_t> lastOffset{0};   // the last offset issued
  std::atomic<uint64_t> writeBytes{0}, readBytes{0}, cycleBytes{0};  // since the cycle began
  std::atomic<uint64_t> jobBytes{0};                                 // since the job began
  std::atomic<bool> progress{false};  // set by a worker whenever it issues; cleared by the coordinator
  BucketCounts buckets;               // completed requests per latency bucket, over the whole job

  bool CancelSeen() const { return cancelFlag != nullptr && cancelFlag->load(); }
};

// Starts a cycle: the state back to Running (false, with nothing changed, when the job has ended),
// the cycle's byte counters and progress cleared, the sequential offset and the passed slots reset to
// the range's start. Coordinator only, while no worker runs.
bool BeginCycle(ThroughputJob& job);

// A per-worker slot's own walk over the range.
struct SlotCursor {
  uint64_t offset = 0;
  bool passed = false;  // the offset has passed endOffset; counted once in passedSlots
};
// Sets a slot's cursor to the range's start, at each cycle start.
void ResetSlot(const ThroughputJob& job, SlotCursor& slot);

// The offset of the next sequential request of size bytes, taken atomically from the shared
// sequential offset; nullopt once that offset has passed endOffset.
std::optional<uint64_t> TakeSequentialOffset(ThroughputJob& job, uint32_t size);
// The same from a per-worker slot's own offset; the slot's passing endOffset is counted in
// passedSlots once.
std::optional<uint64_t> TakeSlotOffset(ThroughputJob& job, SlotCursor& slot, uint32_t size);

// Counts a request of size bytes at offset, about to be issued, into the byte counters, the last
// offset and progress. False, counting nothing, once the job's transfer limit is reached: the bytes
// are taken atomically, so that the workers together never issue more than the limit.
bool CountIssue(ThroughputJob& job, bool write, uint32_t size, uint64_t offset);

// What a worker sets (with RaiseState) after each turn of a free slot, also one that issued nothing
// because the sequential offset had passed the end: TransferLimit when jobBytes reached limitBytes (when
// there is a limit); else CycleDone when cycleBytes reached rangeBytes or, with no random requests, when the
// next sequential request would start past endOffset (per-worker mode: every slot's would); else Running.
JobState StateAfterIssue(const ThroughputJob& job);

// Counts a completed request's latency in ticks into its bucket.
void CountCompletion(ThroughputJob& job, uint64_t latencyTicks);

// The job's byte counters now.
ByteCounters ReadCounters(const ThroughputJob& job);

}  // namespace kestrune::workloads
