// The hand-out of the verify engine: which operation each of its QD threads does next, and where.
// One lock guards it; every thread asks once per request. It never hands out a block that another
// thread still holds (written or trimmed and not yet read back), so that two threads never race
// on one block and report a miscompare the drive did not make.
//
// Random mode: thread t only ever touches blocks t, t + QD, t + 2 x QD, ... of the range. Sequential
// mode: the threads take blocks from one cursor that wraps at the range's end. Trims (both modes)
// draw a block of the thread's own lane. A trim, FUA write or flush comes in the proportions of the
// operation table (in 1/10,000 of the requests).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/host.h"
#include "workloads/ratio_table.h"

namespace kestrune::workloads {

struct VerifySettings {
  bool random = false;
  uint64_t startOffset = 0;
  uint64_t rangeBytes = 0;
  uint32_t accessSize = 0;
  uint32_t threads = 1;  // QD
  uint64_t limitBytes = 0;    // 0 = none
  uint32_t limitSeconds = 0;  // 0 = none
  uint32_t stepRun = 0, stepDelay = 0;  // seconds; both non-zero: run, pause, run, ...
  uint32_t trimRatio = 0, fuaRatio = 0, flushRatio = 0;  // in 1/10,000
};

struct VerifyOp {
  OperationKind kind = OperationKind::Write;
  uint64_t offset = 0;    // unused for a flush
  uint64_t sequence = 0;  // writes: the write sequence from 1; 0 for the others
};

class VerifyHandOut {
 public:
  // The operation table is drawn from generator; block draws from host's random source (a fresh
  // draw per block, so that instances started together still differ). cancel: the view's flag, which
  // also ends a step pause.
  VerifyHandOut(const VerifySettings& settings, Generator& generator, platform::Host& host,
                const std::atomic<bool>* cancel);

  // The next operation of thread t, after releasing the block it held; nullopt once the job stops
  // (a limit was reached, Stop was called). Thread-safe. May block during a step pause.
  std::optional<VerifyOp> Next(uint32_t t);
  // Releases the block thread t holds (after its read-back). Thread-safe.
  void Release(uint32_t t);
  // Ends the hand-out: every later Next gives nullopt. Thread-safe.
  void Stop();
  // Stop was called, or a thread asked after a limit was reached.
  bool stopped() const { return stopped_.load(); }

  uint32_t cycles() const { return cycles_.load(); }
  uint64_t cycleBytes() const { return cycleBytes_.load(); }
  uint64_t doneBytes() const { return doneBytes_.load(); }

 private:
  uint64_t blockCount() const { return settings_.rangeBytes / settings_.accessSize; }
  // A block number in 0 <= v < n from the host's random source.
  uint64_t Draw(uint64_t n);
  bool HeldByOther(uint32_t t, uint64_t offset) const;  // lock held
  // A block of thread t's lane not held by another thread; nullopt when the lane is empty or every
  // draw found a held block.
  std::optional<uint64_t> LaneBlock(uint32_t t);  // lock held
  // The next sequential block no other thread holds; nullopt when all QD next ones are held.
  std::optional<uint64_t> SequentialBlock(uint32_t t);  // lock held
  // Counts a write and sets the limits; lock held.
  void CountWrite();
  // Waits out a step pause outside the lock; true when the hand-out may go on.
  bool PauseIfDue(std::unique_lock<std::mutex>& lock);

  const VerifySettings settings_;
  platform::Host& host_;
  const std::atomic<bool>* cancel_;
  Generator fallback_;
  std::mutex mutex_;
  std::vector<OperationKind> opTable_;
  size_t opCursor_ = 0;
  uint64_t seqCursor_;
  uint64_t writeSequence_ = 0;
  std::vector<int64_t> held_;  // per thread: the offset it holds, -1 when none
  uint64_t startMs_;
  uint64_t stepStartMs_;
  bool stepRunning_ = true;
  bool limitHit_ = false;  // a byte or time limit was reached: the next Next stops the hand-out
  std::atomic<bool> stopped_{false};
  std::atomic<uint32_t> cycles_{0};
  std::atomic<uint64_t> cycleBytes_{0}, doneBytes_{0};
};

// Checks the ratios and limits of a verify job before it starts: false when the ratios add up to
// more than the table, or when no request of the table writes while only a byte limit (no time
// limit) would end the job, which then would never end.
bool VerifyRatiosSound(const VerifySettings& settings);

}  // namespace kestrune::workloads
