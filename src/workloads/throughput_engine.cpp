#include "workloads/throughput_engine.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/pattern_fill.h"
#include "platform/io_buffer.h"
#include "workloads/random_source.h"
#include "workloads/ratio_table.h"
#include "workloads/throughput_job.h"
#include "workloads/worker_split.h"

namespace kestrune::workloads {
namespace {

using platform::AsyncQueue;
using platform::IoCompletion;
using platform::IoRequest;
using platform::IoStatus;

// How long a worker whose slots are all busy waits for a completion before it looks at the job again.
constexpr uint32_t kWorkerWaitMs = 5;
constexpr uint32_t kAnnounceStepMs = 10;
constexpr uint32_t kSettleMs = 500;
constexpr uint32_t kPerWorkerStaggerMs = 20;

// The manual-reset start signal that releases every worker of a cycle at once.
class StartGate {
 public:
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

struct Worker {
  uint32_t index = 0;
  uint32_t slots = 0;
  std::unique_ptr<AsyncQueue> queue;
  LatencyHistogram readLatency, writeLatency;
  std::vector<SlotCursor> cursors;  // per-worker mode: each slot's own walk
};

// What the coordinator and the workers of one job share.
struct Shared {
  ThroughputJob job;
  platform::Host& host;
  std::shared_ptr<platform::IoBuffer> buffer;
  std::unique_ptr<StartGate> gate;  // anew per cycle
  std::atomic<uint64_t> lastEndMs{0};  // when the last worker of the cycle ended
  std::mutex failureLock;
  std::string failure;

  explicit Shared(platform::Host& h) : host(h) {}

  void Fail(bool write, uint64_t offset, IoStatus status) {
    RaiseState(job.state, write ? JobState::WriteFailed : JobState::ReadFailed);
    std::lock_guard lock(failureLock);
    if (failure.empty()) failure = FailureText(write, offset, status);
  }
};

// One request slot of a worker.
struct Slot {
  bool busy = false;
  bool write = false;
  uint64_t offset = 0;
  uint64_t length = 0;
};

class WorkerRun {
 public:
  WorkerRun(Shared& shared, Worker& worker) : s_(shared), w_(worker), slots_(worker.slots) {}

  void Run() {
    ThroughputJob& job = s_.job;
    const JobGeometry& g = job.geometry;
    job.readyWorkers.fetch_add(1);
    s_.gate->Wait();
    Generator generator(WorkerSeed(s_.host, w_.index));
    TableCursor<uint8_t> direction(RatioTable(kPercentTableSize, g.writeRatio, generator));
    TableCursor<uint8_t> placement(RatioTable(kPercentTableSize, g.randomRatio, generator));
    if (g.perWorker) {
      w_.cursors.assign(w_.slots, SlotCursor{});
      for (SlotCursor& c : w_.cursors) ResetSlot(job, c);
      if (w_.index != 0) s_.host.SleepMs(kPerWorkerStaggerMs * w_.index);
    }
    std::vector<IoCompletion> done(w_.slots);
    std::vector<IoRequest> batch;
    bool cancelAsked = false;
    for (;;) {
      const JobState state = job.state.load();
      if (state == JobState::ForcedStop || state == JobState::ResponseTimeout) {
        Abandon();
        break;
      }
      const bool running = state == JobState::Running;
      if (!running && w_.queue->InFlight() == 0) break;
      if (job.CancelSeen()) {
        if (running) {
          RaiseState(job.state, JobState::Cancelled);
          continue;
        }
        if (!cancelAsked) {
          w_.queue->CancelAll();
          cancelAsked = true;
        }
      }
      size_t reaped = Complete(done, w_.queue->Reap(done));
      batch.clear();
      // A completion may have ended the job: then nothing more is issued.
      if (running && job.state.load() == JobState::Running) Issue(batch, generator, direction, placement);
      if (reaped == 0 && batch.empty()) {
        if (w_.queue->InFlight() > 0)
          Complete(done, w_.queue->Wait(done, kWorkerWaitMs));
        else
          s_.host.SleepMs(1);  // nothing in flight and nothing to issue: a slot waits for the others
      }
    }
    s_.lastEndMs.store(s_.host.MonotonicMs());
    job.readyWorkers.fetch_sub(1);
  }

 private:
  // Handles n completions from done; returns n.
  size_t Complete(std::span<IoCompletion> done, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const IoCompletion& c = done[i];
      Slot& slot = slots_.at(c.tag);
      slot.busy = false;
      if (c.status == IoStatus::kCancelled) continue;
      if (c.status != IoStatus::kOk || c.bytes != slot.length) {
        s_.Fail(slot.write, slot.offset, c.status == IoStatus::kOk ? IoStatus::kFailed : c.status);
        continue;
      }
      const uint64_t latency = c.completeTicks - c.issueTicks;
      CountCompletion(s_.job, latency);
      (slot.write ? w_.writeLatency : w_.readLatency).Record(latency);
    }
    return n;
  }

  // Fills the free slots with requests and submits them in one batch.
  void Issue(std::vector<IoRequest>& batch, Generator& generator, TableCursor<uint8_t>& direction,
             TableCursor<uint8_t>& placement) {
    ThroughputJob& job = s_.job;
    const JobGeometry& g = job.geometry;
    for (uint32_t index = 0; index < slots_.size(); ++index) {
      Slot& slot = slots_[index];
      if (slot.busy) continue;
      const bool write = direction.Next() != 0;
      const uint32_t size = NextRequestSize(g, generator);
      std::optional<uint64_t> offset;
      if (placement.Next() != 0)
        offset = NextRandomOffset(g, generator);
      else if (g.perWorker)
        offset = TakeSlotOffset(job, w_.cursors[index], size);
      else
        offset = TakeSequentialOffset(job, size);
      if (!offset) {
        job.progress = true;  // the range is covered: this slot has nothing more to do
      } else {
        if (!CountIssue(job, write, size, *offset)) {
          RaiseState(job.state, JobState::TransferLimit);
          break;
        }
        slot = Slot{true, write, *offset, size};
        const auto data = s_.buffer->bytes().first(size);
        batch.push_back(write ? IoRequest::Write(*offset, data, index) : IoRequest::Read(*offset, data, index));
      }
      const JobState next = StateAfterIssue(job);
      if (next != JobState::Running) {
        RaiseState(job.state, next);
        break;
      }
    }
    if (batch.empty()) return;
    const platform::SubmitResult r = w_.queue->Submit(batch);
    for (size_t i = r.queued; i < batch.size(); ++i) {
      Slot& slot = slots_[batch[i].tag];
      slot.busy = false;
      // A free slot that the queue finds full or a request it refuses: the request never started.
      s_.Fail(slot.write, slot.offset, IoStatus::kFailed);
    }
  }

  // The drive did not answer in time: the requests in flight finish on the reaper's thread, which
  // keeps the shared buffer alive until they have.
  void Abandon() {
    if (w_.queue->InFlight() == 0) return;
    platform::DefaultReaper().Adopt(std::move(w_.queue), s_.buffer);
  }

  Shared& s_;
  Worker& w_;
  std::vector<Slot> slots_;
};

// Reads the temperatures into sample when this sample is due for them.
void MaybeReadTemperatures(const ThroughputSetup& setup, ThroughputHooks& hooks, uint64_t jobSeconds,
                           bool firstSample, int64_t& lastReadSecond, SamplePoint& sample) {
  if (setup.getTemperatureSec == 0) return;
  const bool due = firstSample || (jobSeconds % setup.getTemperatureSec == 0 &&
                                   static_cast<int64_t>(jobSeconds) != lastReadSecond);
  if (!due) return;
  lastReadSecond = static_cast<int64_t>(jobSeconds);
  sample.temperatures = hooks.ReadTemperatures();
}

}  // namespace

char SpinnerAt(uint32_t step) {
  static constexpr char kSpinner[] = {'-', '/', '-', '\\'};
  return kSpinner[step % 4];
}

std::string FailureText(bool write, uint64_t offset, IoStatus status) {
  return base::Format("%s at 0x%llX: %s", write ? "write" : "read", static_cast<unsigned long long>(offset),
                      platform::IoStatusText(status));
}

std::string ThroughputStatusLine(char spinner, uint64_t elapsedSeconds, uint32_t cycle, uint32_t percent,
                                 bool perWorker, uint32_t queueDepth) {
  std::string line = base::Format("%c %02llu:%02llu:%02llu   |   Cycle%u, Process:%u%%", spinner,
                                  static_cast<unsigned long long>(elapsedSeconds / 3600),
                                  static_cast<unsigned long long>(elapsedSeconds / 60 % 60),
                                  static_cast<unsigned long long>(elapsedSeconds % 60), cycle, percent);
  if (perWorker) line += base::Format(" by %u", queueDepth);
  return line;
}

ThroughputOutcome RunThroughputJob(const ThroughputSetup& setup, ThroughputHooks& hooks, platform::Host& host) {
  ThroughputOutcome out;
  out.tickFrequency = host.TickFrequency();
  JobRequest request = setup.request;
  request.processors = std::max<uint32_t>(host.ProcessorCount(), 1);
  const std::vector<uint32_t> split = SlotsPerWorker(request.processors, request.queueDepth);

  // The queues first: a target that does not open ends the job before any thread starts.
  std::vector<Worker> workers(split.size());
  for (uint32_t i = 0; i < split.size(); ++i) {
    std::string why;
    workers[i].index = i;
    workers[i].slots = split[i];
    workers[i].queue = hooks.OpenQueue(split[i], why);
    if (!workers[i].queue) {
      out.code = base::code::kOpenDiskFailed;
      out.failure = why;
      return out;
    }
  }
  out.workers = static_cast<uint32_t>(workers.size());
  out.mechanism = workers[0].queue->facts().mechanism;
  if (!workers[0].queue->facts().notice.empty()) hooks.Notice(workers[0].queue->facts().notice);

  std::optional<JobGeometry> geometry = MakeJobGeometry(request);
  if (!geometry) {
    out.code = base::code::kBadParameter;
    return out;
  }
  Shared s(host);
  ThroughputJob& job = s.job;
  job.geometry = *geometry;
  job.bucketLimits = MakeBucketLimits(out.tickFrequency);
  job.cancelFlag = setup.cancel;
  job.lastOffset = geometry->startOffset;
  out.slots = geometry->slotCount;
  s.buffer = platform::IoBuffer::Make(geometry->accessSize);
  if (!s.buffer) {
    out.code = base::code::kHostMemoryAllocFailed;
    return out;
  }

  const uint32_t dotPerSec = std::clamp<uint32_t>(setup.dotPerSec, 1, 1000);
  const uint64_t jobStartMs = host.MonotonicMs();
  uint32_t spinner = 0, idleSeconds = 0;
  int64_t lastTemperatureSecond = -1;
  uint64_t lastSecond = 0;
  CycleRecord record;
  while (BeginCycle(job)) {
    record = CycleRecord{};
    record.cycle = out.cycles + 1;
    record.rangeBytes = geometry->rangeBytes;
    if (geometry->writeRatio != 0) disk::FillPattern(s.buffer->bytes(), setup.pattern);

    s.gate = std::make_unique<StartGate>();
    std::vector<std::thread> threads;
    for (Worker& w : workers) threads.emplace_back([&s, &w] { WorkerRun(s, w).Run(); });
    while (job.readyWorkers.load() < workers.size()) host.SleepMs(kAnnounceStepMs);
    const uint64_t cycleStartMs = host.MonotonicMs();
    ByteCounters previous = ReadCounters(job);  // the first sample counts from the start signal
    uint64_t previousMs = cycleStartMs;
    s.gate->Open();
    // The settle time before the first sample; a cycle that is over sooner does not wait it out.
    for (uint32_t waited = 0; waited < kSettleMs && job.readyWorkers.load() > 0; waited += kAnnounceStepMs)
      host.SleepMs(kAnnounceStepMs);

    uint32_t cancelPasses = 0;
    while (job.readyWorkers.load() > 0) {
      host.SleepMs(std::max<uint32_t>(1000 / dotPerSec, 1));
      const uint64_t now = host.MonotonicMs();
      if (now == previousMs) continue;
      const JobState state = job.state.load();
      const uint64_t jobSeconds = (now - jobStartMs) / 1000;
      if (state == JobState::Running) {
        if (record.samples.size() >= setup.maxSamples) {
          RaiseState(job.state, JobState::TooManyPoints);
        } else {
          const ByteCounters current = ReadCounters(job);
          SamplePoint sample = MakeSample(previous, current, now - previousMs, geometry->accessSize,
                                          now - cycleStartMs, now - jobStartMs);
          MaybeReadTemperatures(setup, hooks, jobSeconds, record.samples.empty() && out.cycles == 0,
                                lastTemperatureSecond, sample);
          AddSample(record.stats, sample);
          record.samples.push_back(sample);
          previous = current;
          previousMs = now;
        }
      }
      if (jobSeconds != lastSecond) {
        lastSecond = jobSeconds;
        if (job.progress.exchange(false)) {
          spinner = (spinner + 1) % 4;
          idleSeconds = 0;
        } else {
          ++idleSeconds;
        }
        hooks.ShowStatus(ThroughputStatusLine(SpinnerAt(spinner), jobSeconds, record.cycle,
                                              PercentOf(job.cycleBytes.load(), geometry->rangeBytes),
                                              geometry->perWorker, request.queueDepth));
        if (idleSeconds >= kIdleSecondsLimit)
          RaiseState(job.state, JobState::ResponseTimeout);
        else if (setup.limitTimeSec != 0 && jobSeconds >= setup.limitTimeSec)
          RaiseState(job.state, JobState::TimeLimit);
      }
      if (state == JobState::Cancelled) {
        ++cancelPasses;
        if (cancelPasses % dotPerSec == 0) {
          const uint32_t ended = static_cast<uint32_t>(workers.size()) - job.readyWorkers.load();
          hooks.ShowStatus(base::Format("Cancel Job:%u%%", PercentOf(ended, workers.size())));
        }
        if (cancelPasses >= kForcedStopSeconds * dotPerSec) RaiseState(job.state, JobState::ForcedStop);
      }
    }
    for (std::thread& t : threads) t.join();

    const uint64_t endMs = std::max(s.lastEndMs.load(), cycleStartMs);
    const ByteCounters counters = ReadCounters(job);
    if (record.samples.empty() && counters.cycleBytes != 0) {
      // A cycle over before its first sample (a small range on a fast drive) still has its rates:
      // one sample over the whole cycle rather than figures of 0.
      const uint64_t elapsed = std::max<uint64_t>(endMs - cycleStartMs, 1);
      SamplePoint sample = MakeSample(previous, counters, elapsed, geometry->accessSize, elapsed,
                                      cycleStartMs + elapsed - jobStartMs);
      MaybeReadTemperatures(setup, hooks, (endMs - jobStartMs) / 1000, out.cycles == 0, lastTemperatureSecond,
                            sample);
      AddSample(record.stats, sample);
      record.samples.push_back(sample);
    }
    ++out.cycles;
    CloseCycle(record.stats, geometry->accessSize, counters.cycleBytes, endMs - cycleStartMs, record.cycle,
               PercentOf(counters.cycleBytes, geometry->rangeBytes));
    record.readBytes = counters.readBytes;
    record.writeBytes = counters.writeBytes;
    record.cycleBytes = counters.cycleBytes;
    out.readBytes += counters.readBytes;
    out.writeBytes += counters.writeBytes;
    if (setup.limitTimeSec != 0 && (endMs - jobStartMs) / 1000 >= setup.limitTimeSec) {
      // The time is up also for a cycle that covered its range: no next cycle (a normal end does not
      // replace another, so CycleDone is turned into TimeLimit here).
      JobState done = JobState::CycleDone;
      if (!job.state.compare_exchange_strong(done, JobState::TimeLimit)) RaiseState(job.state, JobState::TimeLimit);
    }
    record.state = job.state.load();
    hooks.CycleEnded(record);
  }
  hooks.ShowStatus("");

  out.state = job.state.load();
  out.code = JobResultCode(out.state);
  out.stats = record.stats;
  out.lastOffset = job.lastOffset.load();
  out.stats.lastOffset = out.lastOffset;
  out.jobBytes = job.jobBytes.load();
  out.jobMs = host.MonotonicMs() - jobStartMs;
  for (size_t i = 0; i < kLatencyBucketCount; ++i) out.buckets[i] = job.buckets.count[i].load();
  for (const Worker& w : workers) {
    out.readLatency.Merge(w.readLatency);
    out.writeLatency.Merge(w.writeLatency);
  }
  std::lock_guard lock(s.failureLock);
  out.failure = s.failure;
  return out;
}

}  // namespace kestrune::workloads
