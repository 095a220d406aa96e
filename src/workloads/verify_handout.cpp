#include "workloads/verify_handout.h"

#include <algorithm>

#include "base/bytes.h"

namespace kestrune::workloads {
namespace {

// Draws of a trim block before the hand-out gives up on a lane whose blocks other threads hold.
constexpr int kLaneDraws = 16;
// Slices of a step pause, so that a cancel ends it within that time.
constexpr uint32_t kPauseSliceMs = 100;

}  // namespace

bool VerifyRatiosSound(const VerifySettings& s) {
  const uint64_t others = uint64_t{s.trimRatio} + s.fuaRatio + s.flushRatio;
  if (others > kOperationTableSize) return false;
  const bool writes = uint64_t{s.trimRatio} + s.flushRatio < kOperationTableSize;
  return writes || s.limitSeconds != 0 || s.limitBytes == 0;
}

VerifyHandOut::VerifyHandOut(const VerifySettings& settings, Generator& generator, platform::Host& host,
                             const std::atomic<bool>* cancel)
    : settings_(settings),
      host_(host),
      cancel_(cancel),
      fallback_(generator.Next()),
      opTable_(OperationTable(settings.trimRatio, settings.fuaRatio, settings.flushRatio, generator)),
      seqCursor_(settings.startOffset),
      held_(std::max<uint32_t>(settings.threads, 1), -1),
      startMs_(host.MonotonicMs()),
      stepStartMs_(startMs_) {}

uint64_t VerifyHandOut::Draw(uint64_t n) {
  if (n == 0) return 0;
  uint8_t bytes[8];
  if (host_.RandomBytes(bytes)) return base::GetLe64(bytes) % n;
  return RandomBlock(fallback_, n);
}

bool VerifyHandOut::HeldByOther(uint32_t t, uint64_t offset) const {
  for (size_t i = 0; i < held_.size(); ++i)
    if (i != t && held_[i] == static_cast<int64_t>(offset)) return true;
  return false;
}

std::optional<uint64_t> VerifyHandOut::LaneBlock(uint32_t t) {
  const uint64_t threads = held_.size();
  const uint64_t lane = blockCount() / threads + (t < blockCount() % threads ? 1 : 0);
  if (lane == 0) return std::nullopt;  // more threads than blocks: this thread has none
  const uint64_t stride = uint64_t{settings_.accessSize} * threads;
  for (int i = 0; i < kLaneDraws; ++i) {
    const uint64_t offset = settings_.startOffset + Draw(lane) * stride + uint64_t{t} * settings_.accessSize;
    if (!HeldByOther(t, offset)) return offset;
  }
  return std::nullopt;
}

std::optional<uint64_t> VerifyHandOut::SequentialBlock(uint32_t t) {
  const uint64_t end = settings_.startOffset + settings_.rangeBytes;
  for (size_t tries = 0; tries < held_.size(); ++tries) {
    const uint64_t offset = seqCursor_;
    seqCursor_ += settings_.accessSize;
    if (offset + 2ull * settings_.accessSize > end) seqCursor_ = settings_.startOffset;
    if (!HeldByOther(t, offset)) return offset;
  }
  return std::nullopt;
}

void VerifyHandOut::CountWrite() {
  const uint64_t done = doneBytes_ += settings_.accessSize;
  const uint64_t cycle = cycleBytes_ += settings_.accessSize;
  const uint64_t now = host_.MonotonicMs();
  if (settings_.limitBytes != 0 && done >= settings_.limitBytes) limitHit_ = true;
  if (settings_.limitSeconds != 0 && now - startMs_ >= uint64_t{settings_.limitSeconds} * 1000) limitHit_ = true;
  if (settings_.stepRun != 0 && settings_.stepDelay != 0 && stepRunning_ &&
      now - stepStartMs_ > uint64_t{settings_.stepRun} * 1000)
    stepRunning_ = false;
  if (cycle >= settings_.rangeBytes) {
    ++cycles_;
    cycleBytes_ = 0;
  }
}

bool VerifyHandOut::PauseIfDue(std::unique_lock<std::mutex>& lock) {
  if (stepRunning_ || settings_.stepDelay == 0) return true;
  // Every thread pauses: the first to see the end of a run phase starts the pause; the others wait
  // for it too, all outside the lock and each ready to leave on a cancel.
  const uint64_t until = stepStartMs_ + uint64_t{settings_.stepRun} * 1000 + uint64_t{settings_.stepDelay} * 1000;
  lock.unlock();
  for (;;) {
    if (cancel_ != nullptr && cancel_->load()) {
      lock.lock();
      return false;
    }
    const uint64_t now = host_.MonotonicMs();
    if (now >= until || stopped_.load()) break;
    host_.SleepMs(static_cast<uint32_t>(std::min<uint64_t>(until - now, kPauseSliceMs)));
  }
  lock.lock();
  if (!stepRunning_) {
    stepRunning_ = true;
    stepStartMs_ = host_.MonotonicMs();
  }
  return true;
}

std::optional<VerifyOp> VerifyHandOut::Next(uint32_t t) {
  std::unique_lock lock(mutex_);
  held_.at(t) = -1;
  if (limitHit_) stopped_ = true;  // the request that reached a limit was the last one
  for (;;) {
    if (stopped_.load()) return std::nullopt;
    if (!PauseIfDue(lock)) return std::nullopt;
    if (stopped_.load()) return std::nullopt;
    opCursor_ = (opCursor_ + 1) % opTable_.size();
    VerifyOp op;
    op.kind = opTable_[opCursor_];
    if (op.kind == OperationKind::Flush) return op;
    std::optional<uint64_t> offset;
    if (op.kind == OperationKind::Trim || settings_.random)
      offset = LaneBlock(t);
    else
      offset = SequentialBlock(t);
    if (!offset) {
      // No block for this thread now (every next block held, or an empty lane for a trim): wait a
      // moment outside the lock, then the next operation.
      lock.unlock();
      host_.SleepMs(1);
      lock.lock();
      continue;
    }
    op.offset = *offset;
    held_[t] = static_cast<int64_t>(op.offset);
    if (op.kind != OperationKind::Trim) {
      op.sequence = ++writeSequence_;
      CountWrite();
    }
    return op;
  }
}

void VerifyHandOut::Release(uint32_t t) {
  std::lock_guard lock(mutex_);
  held_.at(t) = -1;
}

void VerifyHandOut::Stop() { stopped_ = true; }

}  // namespace kestrune::workloads
