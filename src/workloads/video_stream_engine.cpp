#include "workloads/video_stream_engine.h"

#include <algorithm>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/pattern_fill.h"
#include "platform/io_buffer.h"
#include "workloads/job_geometry.h"
#include "workloads/random_source.h"
#include "workloads/throughput_job.h"

namespace kestrune::workloads {
namespace {

using platform::IoCompletion;
using platform::IoRequest;
using platform::IoStatus;

constexpr uint32_t kWaitStepMs = 50;
// Head requests of steps 1 to 8: write, read, read, write, write, read, read, write.
constexpr bool kHeadWrites[8] = {true, false, false, true, true, false, false, true};

// Rate in KiB/s of bytes over ticks of a counter of frequency per second; 0 when no time passed.
uint64_t KiBPerSecondOfTicks(uint64_t bytes, uint64_t ticks, uint64_t frequency) {
  if (ticks == 0) return 0;
  return static_cast<uint64_t>(static_cast<unsigned __int128>(bytes) * frequency / (uint64_t{ticks} * 1024));
}

}  // namespace

StreamStep StreamSequence::Next(uint32_t frameSize) {
  StreamStep step;
  const uint32_t at = step_;
  step_ = (step_ + 1) % kStreamSteps;
  if (!s_.frameHead || at == 0) {
    const uint64_t regionStart = s_.startOffset + (s_.frameHead ? kFrameRegionOffset : 0);
    if (frameOffset_ + frameSize > s_.streamBytes) frameOffset_ = 0;  // the next frame would pass the end
    step.offset = regionStart + frameOffset_;
    step.length = frameSize;
    frameOffset_ += frameSize;
    return step;
  }
  step.frame = false;
  step.write = kHeadWrites[at - 1];
  step.length = s_.sectorSize;
  const uint64_t sectorsPerArea = kHeadAreaBytes / s_.sectorSize;
  step.offset = s_.startOffset + headArea_ * kHeadAreaBytes + (headSector_ % sectorsPerArea) * s_.sectorSize;
  if (++inPair_ == 2) {  // a pair done: the next sector, in the next area
    inPair_ = 0;
    ++headSector_;
    headArea_ = (headArea_ + 1) % kHeadAreas;
  }
  return step;
}

ThroughputOutcome RunVideoStream(const StreamSetup& setup, ThroughputHooks& hooks, platform::Host& host) {
  ThroughputOutcome out;
  out.tickFrequency = host.TickFrequency();
  out.workers = out.slots = 1;
  std::string why;
  std::unique_ptr<platform::AsyncQueue> queue = hooks.OpenQueue(1, why);
  if (!queue) {
    out.code = base::code::kOpenDiskFailed;
    out.failure = why;
    return out;
  }
  out.mechanism = queue->facts().mechanism;
  if (!queue->facts().notice.empty()) hooks.Notice(queue->facts().notice);
  std::shared_ptr<platform::IoBuffer> buffer =
      platform::IoBuffer::Make(std::max(setup.accessSize, setup.sectorSize));
  if (!buffer) {
    out.code = base::code::kHostMemoryAllocFailed;
    return out;
  }
  disk::FillPattern(buffer->bytes(), setup.pattern);

  JobGeometry sizes;  // only for the frame sizes of a size range
  sizes.accessSize = setup.accessSize;
  sizes.accessSpan = std::min(setup.accessSpan, setup.accessSize);
  sizes.alignment = setup.sectorSize;
  Generator generator(WorkerSeed(host, 0));
  StreamSequence sequence(setup);
  const BucketLimits limits = MakeBucketLimits(out.tickFrequency);
  const uint32_t perDot = std::max<uint32_t>(setup.framePerDot, 1);
  std::atomic<JobState> state{JobState::Running};
  auto raise = [&](JobState next) { RaiseState(state, next); };

  const uint64_t jobStartMs = host.MonotonicMs();
  uint64_t lastSecond = 0;
  uint32_t spinner = 0;
  CycleRecord record;
  uint64_t cycleStartMs = jobStartMs, cycleBytes = 0;
  uint64_t sampleStart = host.Ticks(), sampleWrites = 0, sampleReads = 0, sampleRequests = 0;
  bool closed = false;
  record.cycle = 1;
  record.rangeBytes = setup.streamBytes;

  auto closeCycle = [&] {
    const uint64_t now = host.MonotonicMs();
    CloseCycle(record.stats, setup.accessSize, cycleBytes, now - cycleStartMs, record.cycle,
               PercentOf(cycleBytes, setup.streamBytes));
    record.cycleBytes = cycleBytes;
    record.state = state.load();
    out.stats = record.stats;
    ++out.cycles;
    closed = true;
    hooks.CycleEnded(record);
  };

  while (state.load() == JobState::Running) {
    if (setup.cancel != nullptr && setup.cancel->load()) {
      raise(JobState::Cancelled);
      break;
    }
    const StreamStep step = sequence.Next(NextRequestSize(sizes, generator));
    const auto data = buffer->bytes().first(step.length);
    const IoRequest request = step.write ? IoRequest::Write(step.offset, data, 0) : IoRequest::Read(step.offset, data, 0);
    out.lastOffset = step.offset;
    if (queue->Submit(request).status != platform::SubmitStatus::kOk) {
      raise(step.write ? JobState::WriteFailed : JobState::ReadFailed);
      break;
    }
    // The one request in flight: its end, a cancel, or a drive that stays silent.
    IoCompletion c;
    const uint64_t issuedMs = host.MonotonicMs();
    bool cancelAsked = false, done = false;
    while (!done) {
      done = queue->Wait(std::span(&c, 1), kWaitStepMs) == 1;
      if (done) break;
      if (!cancelAsked && setup.cancel != nullptr && setup.cancel->load()) {
        queue->CancelAll();
        cancelAsked = true;
      }
      if (host.MonotonicMs() - issuedMs >= uint64_t{kIdleSecondsLimit} * 1000) {
        raise(JobState::ResponseTimeout);
        platform::DefaultReaper().Adopt(std::move(queue), buffer);
        break;
      }
    }
    if (!done) break;
    if (c.status == IoStatus::kCancelled) {
      raise(JobState::Cancelled);
      break;
    }
    if (c.status != IoStatus::kOk || c.bytes != step.length) {
      out.failure = FailureText(step.write, step.offset, c.status == IoStatus::kOk ? IoStatus::kFailed : c.status);
      raise(step.write ? JobState::WriteFailed : JobState::ReadFailed);
      break;
    }
    const uint64_t latency = c.completeTicks - c.issueTicks;
    (step.write ? out.writeLatency : out.readLatency).Record(latency);
    (step.write ? out.writeBytes : out.readBytes) += step.length;
    out.jobBytes += step.length;
    (step.write ? sampleWrites : sampleReads) += step.length;
    if (step.frame) cycleBytes += step.length;

    if (++sampleRequests == perDot) {
      if (record.samples.size() >= kMaxSamplesPerCycle) {
        raise(JobState::TooManyPoints);
        break;
      }
      const uint64_t nowTicks = host.Ticks(), nowMs = host.MonotonicMs();
      const uint64_t ticks = nowTicks - sampleStart;
      SamplePoint sample;
      sample.cycleMs = nowMs - cycleStartMs;
      sample.jobMs = nowMs - jobStartMs;
      sample.writeKBps = KiBPerSecondOfTicks(sampleWrites, ticks, out.tickFrequency);
      sample.readKBps = KiBPerSecondOfTicks(sampleReads, ticks, out.tickFrequency);
      sample.writeIOps = IoPerSecond(sample.writeKBps, setup.accessSize);
      sample.readIOps = IoPerSecond(sample.readKBps, setup.accessSize);
      sample.cycleBytes = cycleBytes;
      sample.jobBytes = out.jobBytes;
      AddSample(record.stats, sample);
      record.samples.push_back(sample);
      // One bucket count per sample, by the mean time of its requests.
      ++out.buckets[BucketIndex(limits, ticks / perDot)];
      sampleStart = nowTicks;
      sampleWrites = sampleReads = sampleRequests = 0;
    }

    const uint64_t seconds = (host.MonotonicMs() - jobStartMs) / 1000;
    if (seconds != lastSecond) {
      lastSecond = seconds;
      spinner = (spinner + 1) % 4;
      hooks.ShowStatus(ThroughputStatusLine(SpinnerAt(spinner), seconds, record.cycle,
                                            PercentOf(cycleBytes, setup.streamBytes), false, 1));
      if (setup.limitTimeSec != 0 && seconds >= setup.limitTimeSec) raise(JobState::TimeLimit);
    }
    if (cycleBytes >= setup.streamBytes) {
      raise(JobState::CycleDone);
      closeCycle();
      if (setup.limitCycles != 0 && out.cycles >= setup.limitCycles) {
        raise(JobState::TransferLimit);
        break;
      }
      if (!RestartCycle(state)) break;
      record = CycleRecord{};
      record.cycle = out.cycles + 1;
      record.rangeBytes = setup.streamBytes;
      cycleStartMs = host.MonotonicMs();
      cycleBytes = 0;
      closed = false;
    }
  }
  if (!closed) closeCycle();
  hooks.ShowStatus("");
  out.state = state.load();
  out.code = JobResultCode(out.state);
  out.stats.lastOffset = out.lastOffset;
  out.jobMs = host.MonotonicMs() - jobStartMs;
  return out;
}

}  // namespace kestrune::workloads
