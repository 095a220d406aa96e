// The Linux queue where io_uring cannot be had (an old kernel, a container that forbids it): a few
// threads of its own take the requests in turn and do each with pread/pwrite, fdatasync,
// BLKDISCARD or a punched hole (QueueTarget). A request counts as issued when the owner hands it
// to the pool (it then waits for a thread as it would in a device's queue) and as complete when
// its system call returned. Cancel ends at once the requests that no thread has started; a started
// one runs to its end.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "platform/linux/queue_target.h"

namespace kestrune::platform::linux_dev {

class PoolQueue final : public AsyncQueue {
 public:
  // The most threads a pool has (fewer for a smaller depth).
  static constexpr uint32_t kMaxThreads = 4;

  // notice is the queue's facts().notice.
  PoolQueue(std::unique_ptr<QueueTarget> target, Host& host, std::string notice);
  ~PoolQueue() override;

  const QueueFacts& facts() const override { return facts_; }
  uint32_t InFlight() const override { return inFlight_; }
  using AsyncQueue::Submit;  // and the one-request form
  SubmitResult Submit(std::span<const IoRequest> requests) override;
  size_t Reap(std::span<IoCompletion> out) override;
  size_t Wait(std::span<IoCompletion> out, uint32_t timeoutMs) override;
  size_t Cancel(uint64_t tag) override;
  size_t CancelAll() override;

 private:
  struct Slot {
    IoRequest request;
    uint64_t issue = 0;
  };
  void Work();
  // Takes queued requests off the list (all, or those with tag) as cancelled; the lock is held.
  size_t CancelQueued(bool all, uint64_t tag);
  size_t TakeFinished(std::span<IoCompletion> out);  // the lock is held

  std::unique_ptr<QueueTarget> target_;
  Host& host_;
  QueueFacts facts_;
  std::vector<Slot> slots_;     // written by the owner before the index is queued
  std::vector<uint32_t> free_;  // the owner's
  uint32_t inFlight_ = 0;       // the owner's
  std::mutex mutex_;
  std::condition_variable work_;                        // a request was queued, or the pool ends
  std::condition_variable finished_;                    // a request finished
  std::deque<uint32_t> queued_;                         // guarded by mutex_
  std::deque<std::pair<uint32_t, IoCompletion>> done_;  // guarded by mutex_
  bool stopping_ = false;                               // guarded by mutex_
  std::vector<std::thread> threads_;
};

}  // namespace kestrune::platform::linux_dev
