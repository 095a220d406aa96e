#include "platform/linux/pool_queue.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace kestrune::platform::linux_dev {

PoolQueue::PoolQueue(std::unique_ptr<QueueTarget> target, Host& host, std::string notice)
    : target_(std::move(target)), host_(host), facts_(target_->facts()) {
  facts_.mechanism = "thread pool";
  facts_.notice = std::move(notice);
  slots_.resize(facts_.depth);
  for (uint32_t i = facts_.depth; i > 0; --i) free_.push_back(i - 1);
  const uint32_t threads = std::min(facts_.depth, kMaxThreads);
  for (uint32_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

PoolQueue::~PoolQueue() {
  CancelAll();
  Drain();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void PoolQueue::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (queued_.empty()) return;
    const uint32_t index = queued_.front();
    queued_.pop_front();
    const Slot slot = slots_[index];
    lock.unlock();
    uint64_t moved = 0;
    int error = 0;
    switch (slot.request.op) {
      case IoOp::kTrim:
        error = target_->Trim(slot.request.offset, slot.request.length);
        break;
      case IoOp::kFlush:
        error = target_->Flush();
        break;
      default:
        error = target_->Transfer(slot.request, moved);
        break;
    }
    const IoCompletion c = SyncCompletion(slot.request, error, moved, slot.issue, host_.Ticks());
    lock.lock();
    done_.emplace_back(index, c);
    finished_.notify_all();
  }
}

SubmitResult PoolQueue::Submit(std::span<const IoRequest> requests) {
  SubmitResult result;
  std::vector<uint32_t> taken;
  for (const IoRequest& r : requests) {
    result.status = CheckNextRequest(r, facts_, !free_.empty());
    if (result.status != SubmitStatus::kOk) break;
    taken.push_back(free_.back());
    free_.pop_back();
    slots_[taken.back()].request = r;
    ++result.queued;
  }
  if (taken.empty()) return result;
  inFlight_ += static_cast<uint32_t>(taken.size());
  {
    std::lock_guard lock(mutex_);
    const uint64_t now = host_.Ticks();
    for (uint32_t index : taken) {
      slots_[index].issue = now;
      queued_.push_back(index);
    }
  }
  work_.notify_all();
  return result;
}

size_t PoolQueue::TakeFinished(std::span<IoCompletion> out) {
  size_t n = 0;
  while (n < out.size() && !done_.empty()) {
    out[n++] = done_.front().second;
    free_.push_back(done_.front().first);
    done_.pop_front();
  }
  inFlight_ -= static_cast<uint32_t>(n);
  return n;
}

size_t PoolQueue::Reap(std::span<IoCompletion> out) {
  std::lock_guard lock(mutex_);
  return TakeFinished(out);
}

size_t PoolQueue::Wait(std::span<IoCompletion> out, uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  if (done_.empty() && inFlight_ > 0)
    finished_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !done_.empty(); });
  return TakeFinished(out);
}

size_t PoolQueue::CancelQueued(bool all, uint64_t tag) {
  size_t asked = 0;
  const uint64_t now = host_.Ticks();
  for (auto it = queued_.begin(); it != queued_.end();) {
    const Slot& s = slots_[*it];
    if (!all && s.request.tag != tag) {
      ++it;
      continue;
    }
    IoCompletion c = SyncCompletion(s.request, ECANCELED, 0, s.issue, now);
    done_.emplace_back(*it, c);
    it = queued_.erase(it);
    ++asked;
  }
  if (asked > 0) finished_.notify_all();
  return asked;
}

size_t PoolQueue::Cancel(uint64_t tag) {
  std::lock_guard lock(mutex_);
  return CancelQueued(false, tag);
}

size_t PoolQueue::CancelAll() {
  std::lock_guard lock(mutex_);
  return CancelQueued(true, 0);
}

}  // namespace kestrune::platform::linux_dev
