#include "workloads/verify_engine.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/pattern_fill.h"
#include "platform/files.h"
#include "platform/io_buffer.h"
#include "workloads/job_stats.h"
#include "workloads/mark_diagnosis.h"
#include "workloads/pattern_dumps.h"
#include "workloads/random_source.h"
#include "workloads/sequential_pass.h"
#include "workloads/throughput_engine.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using platform::IoCompletion;
using platform::IoRequest;
using platform::IoStatus;

constexpr uint64_t kStopGraceMs = 10000;
constexpr uint32_t kWaitSliceMs = 250;
constexpr uint32_t kSecondReadDelayMs = 1000;

enum class Outcome { kOk, kFailed, kShort, kTimedOut, kStopped };

// What the threads of one job share besides the hand-out.
struct Shared {
  const VerifyRun& run;
  VerifyHooks& hooks;
  platform::Host& host;
  VerifyHandOut handOut;
  std::mutex lock;
  VerifyOutcome outcome;  // guarded by lock
  bool miscompareClaimed = false;
  std::atomic<bool> stopRequest{false};

  Shared(const VerifyRun& r, VerifyHooks& h, platform::Host& ho, Generator& g)
      : run(r), hooks(h), host(ho), handOut(r.settings, g, ho, r.cancel) {}

  // The first failure of the job wins; every thread then stops.
  void Fail(int32_t failure, uint64_t offset) {
    {
      std::lock_guard guard(lock);
      if (outcome.report.code == code::kSuccessTrue) {
        outcome.report.code = failure;
        outcome.lastOffset = offset;
      }
    }
    handOut.Stop();
  }
  void Note(std::string text) {
    std::lock_guard guard(lock);
    outcome.notes.push_back(std::move(text));
  }
  // The first thread to find a miscompare reports it; the others end quietly.
  bool ClaimMiscompare() {
    std::lock_guard guard(lock);
    if (miscompareClaimed || outcome.report.code != code::kSuccessTrue) return false;
    miscompareClaimed = true;
    return true;
  }
};

class VerifyThread {
 public:
  VerifyThread(Shared& s, uint32_t index, std::unique_ptr<platform::AsyncQueue> queue)
      : s_(s), index_(index), queue_(std::move(queue)) {}

  void Run() {
    const uint32_t size = s_.run.settings.accessSize;
    for (auto* b : {&expected_, &first_, &second_, &ones_}) *b = platform::IoBuffer::Make(size);
    if (!expected_ || !first_ || !second_ || !ones_) return s_.Fail(code::kHostMemoryAllocFailed, 0);
    std::memset(ones_->data(), 0xFF, size);
    uint32_t count = 0;
    while (!s_.stopRequest.load()) {
      const std::optional<VerifyOp> op = s_.handOut.Next(index_);
      if (!op) break;
      if (!Do(*op)) break;
      if (op->kind == OperationKind::Flush) continue;  // not counted for comparing
      if (s_.handOut.stopped()) break;
      if (s_.run.nWrite1Read != 0 && ++count >= s_.run.nWrite1Read) {
        count = 0;
        if (!ReadBack(*op)) break;
      }
      s_.handOut.Release(index_);
    }
    s_.handOut.Release(index_);
  }

 private:
  // One request through the queue, waited for in slices: 180 s at most, and no more than 10 s after
  // the coordinator asked the thread to stop (the request is cancelled then).
  Outcome Submit(const IoRequest& request) {
    if (!queue_ || queue_->Submit(request).status != platform::SubmitStatus::kOk) return Outcome::kFailed;
    const uint64_t start = s_.host.MonotonicMs();
    uint64_t stopAt = 0;
    IoCompletion c;
    for (;;) {
      if (queue_->Wait(std::span(&c, 1), kWaitSliceMs) == 1) break;
      const uint64_t now = s_.host.MonotonicMs();
      if (s_.stopRequest.load() && stopAt == 0) {
        queue_->CancelAll();
        stopAt = now + kStopGraceMs;
      }
      if (now - start >= kRequestTimeoutMs || (stopAt != 0 && now >= stopAt)) {
        // The drive keeps the request: the reaper lets it finish and frees the buffers afterwards.
        auto keep = std::make_shared<std::vector<std::shared_ptr<platform::IoBuffer>>>(
            std::vector{expected_, first_, second_, ones_});
        platform::DefaultReaper().Adopt(std::move(queue_), keep);
        return stopAt != 0 && now >= stopAt ? Outcome::kStopped : Outcome::kTimedOut;
      }
    }
    if (c.status == IoStatus::kCancelled) return Outcome::kStopped;
    if (c.status != IoStatus::kOk) return Outcome::kFailed;
    const uint64_t wanted = request.op == platform::IoOp::kFlush ? 0 : request.length;
    return c.bytes == wanted ? Outcome::kOk : Outcome::kShort;
  }

  // Ends the thread's job with the code of a request that did not succeed.
  bool Failed(Outcome o, int32_t failure, uint64_t offset) {
    if (o == Outcome::kStopped) return false;
    s_.Fail(o == Outcome::kTimedOut ? code::kIoResponseTimeout : failure, offset);
    return false;
  }

  // Trims, flushes or writes as the hand-out said; false when the thread must end.
  bool Do(const VerifyOp& op) {
    const uint32_t size = s_.run.settings.accessSize, ss = s_.run.sectorSize;
    trimmed_ = op.kind == OperationKind::Trim;
    if (op.kind == OperationKind::Flush) {
      const Outcome o = Submit(IoRequest::Flush(0));
      return o == Outcome::kOk || Failed(o, code::kIoControlError, op.offset);
    }
    if (trimmed_) {
      std::memset(expected_->data(), 0, size);
      const Outcome o = Submit(IoRequest::Trim(op.offset, size, 0));
      return o == Outcome::kOk || Failed(o, code::kIoControlError, op.offset);
    }
    disk::FillPattern(expected_->bytes(), s_.run.pattern);
    disk::StampLongMarks(expected_->bytes(), op.offset / ss, ss, op.sequence);
    s_.hooks.Touched(op.offset, size);
    const Outcome o = Submit(IoRequest::Write(op.offset, expected_->bytes(), 0, op.kind == OperationKind::FuaWrite));
    return o == Outcome::kOk || Failed(o, code::kWriteFailed, op.offset);
  }

  bool Matches(const platform::IoBuffer& read) const {
    if (std::memcmp(read.data(), expected_->data(), read.size()) == 0) return true;
    // A trimmed block may read back as zeros (the expected buffer then) or as all ones.
    return trimmed_ && std::memcmp(read.data(), ones_->data(), read.size()) == 0;
  }

  // Reads the block back into buffer; a failed read is tried once more, and a note says whether the
  // failure persisted. The job ends with -3 either way.
  bool Read(const VerifyOp& op, platform::IoBuffer& buffer) {
    std::memset(buffer.data(), 0, buffer.size());
    const Outcome o = Submit(IoRequest::Read(op.offset, buffer.bytes(), 0));
    if (o == Outcome::kOk) return true;
    if (o == Outcome::kFailed || o == Outcome::kShort) {
      const uint64_t lba = op.offset / s_.run.sectorSize;
      const Outcome again = queue_ ? Submit(IoRequest::Read(op.offset, buffer.bytes(), 0)) : Outcome::kFailed;
      s_.Note(base::Format(again == Outcome::kOk ? "Read retry   : LBA 0x%llX read on the second try"
                                                 : "Read retry   : LBA 0x%llX failed again",
                           static_cast<unsigned long long>(lba)));
    }
    return Failed(o, code::kReadFailed, op.offset);
  }

  bool ReadBack(const VerifyOp& op) {
    if (!Read(op, *first_)) return false;
    if (Matches(*first_)) return true;
    if (!s_.ClaimMiscompare()) {
      s_.handOut.Stop();
      return false;
    }
    s_.handOut.Stop();
    s_.host.SleepMs(kSecondReadDelayMs);
    std::memset(second_->data(), 0, second_->size());
    const bool secondRead = Submit(IoRequest::Read(op.offset, second_->bytes(), 0)) == Outcome::kOk;
    const bool stored = !secondRead || !Matches(*second_);
    const uint32_t ss = s_.run.sectorSize;
    const size_t sector = FirstDifferingSector(first_->bytes(), expected_->bytes(), ss).value_or(0);
    const std::string& base = s_.run.outputBase;
    platform::WriteWholeFile(DumpName(base, DumpKind::Expected), SectorOf(expected_->bytes(), sector, ss));
    platform::WriteWholeFile(DumpName(base, DumpKind::FirstRead), SectorOf(first_->bytes(), sector, ss));
    platform::WriteWholeFile(DumpName(base, DumpKind::SecondRead), SectorOf(second_->bytes(), sector, ss));
    std::lock_guard guard(s_.lock);
    CompareReport& r = s_.outcome.report;
    r.code = stored ? code::kMiscompareTwice : code::kMiscompareThenCorrect;
    r.actionLba = op.offset / ss;
    r.errorLba = r.actionLba + sector;
    r.accessSize = s_.run.settings.accessSize;
    r.cause = DiagnoseMiscompare({expected_->bytes(), first_->bytes(), ss, !trimmed_, !trimmed_});
    s_.outcome.lastOffset = op.offset;
    return false;
  }

  Shared& s_;
  uint32_t index_;
  std::unique_ptr<platform::AsyncQueue> queue_;
  std::shared_ptr<platform::IoBuffer> expected_, first_, second_, ones_;
  bool trimmed_ = false;
};

}  // namespace

std::string CompareStatusLine(char spinner, uint64_t seconds, uint32_t cycle, uint32_t percent) {
  return base::Format("%c Cmd:%llu sec   |   Cycle%u, Process:%u%%  ", spinner,
                      static_cast<unsigned long long>(seconds), cycle, percent);
}

std::optional<size_t> FirstDifferingSector(std::span<const uint8_t> a, std::span<const uint8_t> b,
                                           uint32_t sectorSize) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return i / std::max<uint32_t>(sectorSize, 1);
  return std::nullopt;
}

VerifyOutcome RunVerify(const VerifyRun& run, VerifyHooks& hooks, platform::Host& host) {
  const VerifySettings& v = run.settings;
  VerifyOutcome failed;
  failed.report.outputBase = run.outputBase;
  failed.report.accessSize = v.accessSize;
  if (v.accessSize == 0 || v.rangeBytes < v.accessSize || v.threads == 0 ||
      (v.random && v.rangeBytes / v.accessSize < v.threads)) {
    failed.report.code = code::kBadParameter;
    return failed;
  }
  std::vector<std::unique_ptr<platform::AsyncQueue>> queues;
  for (uint32_t t = 0; t < v.threads; ++t) {
    std::string why;
    queues.push_back(hooks.OpenQueue(why));
    if (!queues.back()) {
      failed.report.code = code::kOpenDiskFailed;
      failed.notes.push_back(why);
      return failed;
    }
  }
  Generator generator(WorkerSeed(host, 0));
  Shared s(run, hooks, host, generator);
  s.outcome.report.outputBase = run.outputBase;
  s.outcome.report.accessSize = v.accessSize;
  std::atomic<uint32_t> running{v.threads};
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < v.threads; ++t)
    threads.emplace_back([&s, &running, t, q = std::move(queues[t])]() mutable {
      VerifyThread(s, t, std::move(q)).Run();
      running.fetch_sub(1);
    });

  const uint64_t startMs = host.MonotonicMs();
  uint32_t spinner = 0;
  auto percent = [&] { return PercentOf(s.handOut.cycleBytes(), v.rangeBytes); };
  auto cancelled = [&] { return run.cancel != nullptr && run.cancel->load(); };
  auto waitSecond = [&](auto done) {
    for (int slice = 0; slice < 10 && !done(); ++slice) host.SleepMs(100);
  };
  while (!cancelled() && !s.handOut.stopped() && running.load() > 0) {
    waitSecond([&] { return cancelled() || s.handOut.stopped() || running.load() == 0; });
    hooks.ShowStatus(CompareStatusLine(SpinnerAt(spinner++), (host.MonotonicMs() - startMs) / 1000,
                                       s.handOut.cycles() + 1, percent()));
  }
  s.handOut.Stop();
  s.stopRequest = true;
  while (running.load() > 0) {
    hooks.ShowStatus(base::Format("%c Cmd:%llu sec   |   Wait All Thread Close  ", SpinnerAt(spinner++),
                                  static_cast<unsigned long long>((host.MonotonicMs() - startMs) / 1000)));
    waitSecond([&] { return running.load() == 0; });
  }
  for (std::thread& t : threads) t.join();
  hooks.ShowStatus("");

  std::lock_guard guard(s.lock);
  VerifyOutcome out = s.outcome;
  const bool exact = s.handOut.cycleBytes() == 0 && s.handOut.cycles() > 0;
  out.report.cycle = exact ? s.handOut.cycles() : s.handOut.cycles() + 1;
  out.report.percent = exact ? 100 : percent();
  return out;
}

}  // namespace kestrune::workloads
