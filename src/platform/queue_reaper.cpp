// The reaper's thread: it takes the queues handed over, cancels what they have in flight and waits
// for every completion, round robin, then destroys each drained queue before it drops the
// references that came with it (the buffers must outlive the queue's last system request).
#include <array>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

#include "platform/async_queue.h"

namespace kestrune::platform {

struct QueueReaper::Shared {
  struct Adopted {
    std::unique_ptr<AsyncQueue> queue;
    std::shared_ptr<const void> keepAlive;
  };

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Adopted> arrived;  // handed over, not yet taken by the thread
  size_t pending = 0;           // arrived plus those the thread is draining
  bool stopping = false;
  std::thread thread;

  void Run() {
    std::list<Adopted> draining;
    std::array<IoCompletion, 64> dropped;
    for (;;) {
      {
        std::unique_lock lock(mutex);
        changed.wait(lock,
                     [&] { return !arrived.empty() || !draining.empty() || (stopping && pending == 0); });
        if (draining.empty() && arrived.empty()) return;  // stopping, and nothing left
        while (!arrived.empty()) {
          draining.push_back(std::move(arrived.front()));
          arrived.pop_front();
          draining.back().queue->CancelAll();
        }
      }
      // One pass: a short wait on each queue, so that one stalled queue does not hold up the others.
      const uint32_t waitMs = draining.size() == 1 ? 50 : 5;
      for (auto it = draining.begin(); it != draining.end();) {
        if (it->queue->InFlight() > 0) it->queue->Wait(dropped, waitMs);
        if (it->queue->InFlight() > 0) {
          ++it;
          continue;
        }
        it->queue.reset();      // the ring, the handles and the request blocks go first,
        it->keepAlive.reset();  // then the memory the requests used
        it = draining.erase(it);
        std::lock_guard lock(mutex);
        --pending;
        changed.notify_all();
      }
    }
  }
};

QueueReaper::QueueReaper() : shared_(std::make_shared<Shared>()) {
  shared_->thread = std::thread([s = shared_.get()] { s->Run(); });
}

QueueReaper::~QueueReaper() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->changed.notify_all();
  shared_->thread.join();
}

void QueueReaper::Adopt(std::unique_ptr<AsyncQueue> queue, std::shared_ptr<const void> keepAlive) {
  if (!queue) return;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->arrived.push_back({std::move(queue), std::move(keepAlive)});
    ++shared_->pending;
  }
  shared_->changed.notify_all();
}

size_t QueueReaper::Pending() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->pending;
}

void QueueReaper::WaitIdle() {
  std::unique_lock lock(shared_->mutex);
  shared_->changed.wait(lock, [&] { return shared_->pending == 0; });
}

QueueReaper& DefaultReaper() {
  // Never destroyed: the process may end while a stalled device still holds a queue.
  static QueueReaper* reaper = new QueueReaper;
  return *reaper;
}

}  // namespace kestrune::platform
