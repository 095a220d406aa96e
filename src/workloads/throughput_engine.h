// The throughput engine behind the performance commands: worker threads keep many requests in flight
// on the target through AsyncQueue, a coordinator (the calling thread) takes a sample of the rates
// every 1/DotPerSec s, posts the status line, watches the limits, the cancel flag and the drive's
// silence, and ends the job in one JobState. Latencies go into the 17 buckets and into exact
// histograms per direction.
//
// One job, on the caller's thread:
//   1. W workers by processor count (worker_split.h), one queue each with its slots, opened before
//      any thread starts (a queue that does not open: kOpenDiskFailed).
//   2. Per cycle: the buffer filled with the pattern, the workers started anew and released at once,
//      samples until every worker has ended, the cycle closed and handed to ThroughputHooks::CycleEnded
//      (the CSV lines and the chart). A cycle that ends in CycleDone starts the next one.
//   3. On ForcedStop or ResponseTimeout the workers stop waiting for the drive: each hands its queue,
//      with a reference to the shared buffer, to the process's QueueReaper, which lets the requests
//      finish and frees them afterwards. The engine never frees memory the drive may still use.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "workloads/job_geometry.h"
#include "workloads/job_state.h"
#include "workloads/job_stats.h"
#include "workloads/latency_buckets.h"
#include "workloads/latency_histogram.h"

namespace kestrune::workloads {

// What a job is asked to do, beyond its geometry.
struct ThroughputSetup {
  JobRequest request;            // processors is filled in by the engine from the host
  uint32_t pattern = 0;          // the write pattern value (disk/pattern_fill.h); unused without writes
  uint32_t limitTimeSec = 0;     // 0 = none
  uint32_t dotPerSec = 1;        // samples per second, 1 to 1000
  uint32_t getTemperatureSec = 0;  // 0 = temperatures are not read
  const std::atomic<bool>* cancel = nullptr;  // the view's cancel flag; only read
  uint64_t maxSamples = kMaxSamplesPerCycle;   // samples one cycle may take; the next is TooManyPoints
};

// One closed cycle.
struct CycleRecord {
  uint32_t cycle = 0;  // from 1
  JobStats stats;
  std::vector<SamplePoint> samples;
  uint64_t rangeBytes = 0;
  uint64_t readBytes = 0, writeBytes = 0, cycleBytes = 0;
  JobState state = JobState::Running;  // the job's state when the cycle closed
};

// What the engine needs from its command. Called on the coordinator's thread only.
class ThroughputHooks {
 public:
  virtual ~ThroughputHooks() = default;
  // A queue of depth slots on the target; nullptr with one sentence in why when it does not open.
  virtual std::unique_ptr<platform::AsyncQueue> OpenQueue(uint32_t depth, std::string& why) = 0;
  // The drive's temperatures now: composite, sensors 1 to 8; 0 where not read.
  virtual std::array<uint16_t, 9> ReadTemperatures() = 0;
  // Shows text as the view's status line; an empty text clears it.
  virtual void ShowStatus(std::string_view text) = 0;
  // One sentence about the queue mechanism (a fallback in use), given once per job.
  virtual void Notice(std::string_view text) = 0;
  // A cycle has closed: append its samples to the CSV and draw its chart.
  virtual void CycleEnded(const CycleRecord& cycle) = 0;
};

struct ThroughputOutcome {
  // kSuccessTrue for a normal end; kOpenDiskFailed; kBadParameter (the range is no larger than one
  // request); kReadFailed, kWriteFailed, kIoResponseTimeout, kTooMuchMemory by the end state.
  int32_t code = 0;
  JobState state = JobState::Running;
  JobStats stats;  // of the last cycle
  uint32_t cycles = 0;
  uint64_t lastOffset = 0;
  uint64_t jobBytes = 0, readBytes = 0, writeBytes = 0;  // over the whole job
  uint64_t jobMs = 0;
  std::array<uint64_t, kLatencyBucketCount> buckets{};
  LatencyHistogram readLatency, writeLatency;  // in ticks
  uint64_t tickFrequency = 0;
  uint32_t workers = 0, slots = 0;
  std::string mechanism;  // of the queues ("io_uring", "lab", ...)
  std::string failure;    // the first failed request: "read at 0x... : media error"; empty without one
};

// Runs one job to its end. Blocks the caller until then.
ThroughputOutcome RunThroughputJob(const ThroughputSetup& setup, ThroughputHooks& hooks, platform::Host& host);

// The status line's spinner at a step: "-", "/", "-", "\\" in turn.
char SpinnerAt(uint32_t step);

// "read at 0x...: media error": the first failed request of a job, for its output and its record.
std::string FailureText(bool write, uint64_t offset, platform::IoStatus status);

// "%s %02d:%02d:%02d   |   Cycle%d, Process:%d%%", and with perWorker " by %d" with the queue depth.
std::string ThroughputStatusLine(char spinner, uint64_t elapsedSeconds, uint32_t cycle, uint32_t percent,
                                 bool perWorker, uint32_t queueDepth);

}  // namespace kestrune::workloads
