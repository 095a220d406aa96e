#include "workloads/sequential_pass.h"

#include <algorithm>
#include <limits>

namespace kestrune::workloads {
namespace {

using platform::IoCompletion;
using platform::IoRequest;
using platform::IoStatus;

// The longest wait for a completion before the cancel flag and the deadlines are looked at again.
constexpr uint32_t kPollMs = 100;

}  // namespace

std::optional<IoStatus> SubmitAndWait(platform::AsyncQueue& queue, platform::Host& host, const IoRequest& request,
                                      uint32_t timeoutMs) {
  if (queue.Submit(request).status != platform::SubmitStatus::kOk) return IoStatus::kFailed;
  IoCompletion c;
  const uint64_t begin = host.MonotonicMs();
  while (queue.Wait(std::span(&c, 1), kPollMs) == 0)
    if (host.MonotonicMs() - begin >= timeoutMs) return std::nullopt;
  if (c.status != IoStatus::kOk) return c.status;
  const uint64_t wanted = request.op == platform::IoOp::kFlush ? 0 : request.length;
  return c.bytes == wanted ? IoStatus::kOk : IoStatus::kFailed;
}

SequentialPass::SequentialPass(platform::Host& host, std::vector<std::shared_ptr<platform::IoBuffer>> buffers,
                               const std::atomic<bool>* cancel)
    : host_(host), buffers_(std::move(buffers)), cancel_(cancel) {}

bool SequentialPass::Issue(platform::AsyncQueue& queue, size_t index) {
  Slot& s = slots_[index];
  const std::span<uint8_t> rest = buffers_[index]->bytes().subspan(s.moved, s.length - s.moved);
  const uint64_t at = s.offset + s.moved;
  const IoRequest request = plan_.op == platform::IoOp::kWrite ? IoRequest::Write(at, rest, index)
                                                               : IoRequest::Read(at, rest, index);
  s.issuedMs = host_.MonotonicMs();
  s.state = Slot::State::kBusy;
  if (queue.Submit(request).queued == 1) return true;
  s.state = Slot::State::kFree;  // never reached the system: nothing to wait for
  return false;
}

PassResult SequentialPass::Run(std::unique_ptr<platform::AsyncQueue> queue, const PassPlan& plan,
                               const Prepare& prepare, const Done& done) {
  plan_ = plan;
  const size_t n = buffers_.size();
  slots_.assign(n, Slot{});
  const uint32_t sectorSize = std::max<uint32_t>(queue->facts().sectorSize, 1);
  std::vector<IoCompletion> batch(std::max<size_t>(n, 1));

  // Requests use the slots in turn, so the inUse slots from head on hold the requests not yet
  // handed back, in offset order.
  size_t head = 0, next = 0, inUse = 0;
  uint64_t issueAt = plan.range.first;
  bool failing = false;  // a request failed: nothing more is issued
  PassResult result;
  bool stuck = false;

  auto fail = [&](Slot& s, IoStatus status) {
    s.state = Slot::State::kFailed;
    s.status = status;
    failing = true;
  };
  auto issueMore = [&] {
    while (!failing && inUse < n && issueAt < plan.range.end) {
      Slot& s = slots_[next];
      s = Slot{issueAt, RequestLength(plan.range, issueAt, plan.requestBytes), 0};
      if (prepare) prepare(buffers_[next]->bytes().first(s.length), s.offset);
      if (!Issue(*queue, next)) fail(s, IoStatus::kFailed);
      issueAt += s.length;
      next = (next + 1) % n;
      ++inUse;
    }
  };

  for (;;) {
    bool stopped = false;
    while (inUse > 0 && slots_[head].state == Slot::State::kDone) {
      Slot& s = slots_[head];
      const bool go = !done || done(buffers_[head]->bytes().first(s.length), s.offset);
      s.state = Slot::State::kFree;
      head = (head + 1) % n;
      --inUse;
      if (!go || (cancel_ != nullptr && cancel_->load())) {
        result = {go ? PassEnd::kCancelled : PassEnd::kStopped, s.offset + s.length};
        stopped = true;
        break;
      }
    }
    if (stopped) break;
    if (inUse > 0 && slots_[head].state == Slot::State::kFailed) {
      const Slot& s = slots_[head];
      result = {PassEnd::kFailed, s.offset + s.moved, s.status};
      break;
    }
    if (cancel_ != nullptr && cancel_->load()) {
      result = {PassEnd::kCancelled, inUse > 0 ? slots_[head].offset : issueAt};
      break;
    }
    issueMore();
    if (inUse == 0) {
      result = {PassEnd::kDone, plan.range.end};
      break;
    }

    uint64_t now = host_.MonotonicMs();
    uint64_t deadline = std::numeric_limits<uint64_t>::max();
    for (const Slot& s : slots_)
      if (s.state == Slot::State::kBusy) deadline = std::min(deadline, s.issuedMs + plan.timeoutMs);
    if (deadline == std::numeric_limits<uint64_t>::max()) continue;  // what is left is done or failed
    const uint32_t waitMs =
        static_cast<uint32_t>(std::min<uint64_t>(kPollMs, deadline > now ? deadline - now : 0));
    const size_t got = queue->Wait(batch, waitMs);
    for (size_t i = 0; i < got; ++i) {
      const IoCompletion& c = batch[i];
      Slot& s = slots_[c.tag];
      const uint64_t moved = std::min<uint64_t>(c.bytes / sectorSize * sectorSize, s.length - s.moved);
      if (c.status != IoStatus::kOk || moved == 0) {
        // A request that reports success but moves no whole sector fails as well: issued again and
        // again, it would never get the walk on.
        fail(s, c.status);
        continue;
      }
      s.moved += static_cast<uint32_t>(moved);
      if (s.moved == s.length)
        s.state = Slot::State::kDone;
      else if (!Issue(*queue, c.tag))
        fail(s, IoStatus::kFailed);
    }
    if (got > 0) continue;
    now = host_.MonotonicMs();
    // The earliest request in the walk's order that is late.
    for (size_t k = 0; k < inUse && !stuck; ++k) {
      const Slot& s = slots_[(head + k) % n];
      if (s.state == Slot::State::kBusy && now >= s.issuedMs + plan.timeoutMs) {
        result = {PassEnd::kTimedOut, s.offset + s.moved};
        stuck = true;
      }
    }
    if (stuck) break;
  }
  Finish(std::move(queue), stuck);
  return result;
}

void SequentialPass::Finish(std::unique_ptr<platform::AsyncQueue> queue, bool stuck) {
  if (queue->InFlight() > 0) {
    queue->CancelAll();
    // Requests that were still in time are let finish (a cancel ends most at once); each is given
    // until its own deadline. What is left then is stuck in the device.
    uint64_t latest = 0;
    for (const Slot& s : slots_)
      if (s.state == Slot::State::kBusy) latest = std::max(latest, s.issuedMs + plan_.timeoutMs);
    std::vector<IoCompletion> batch(std::max<size_t>(slots_.size(), 1));
    while (!stuck && queue->InFlight() > 0) {
      const uint64_t now = host_.MonotonicMs();
      if (now >= latest) break;
      queue->Wait(batch, static_cast<uint32_t>(std::min<uint64_t>(kPollMs, latest - now)));
    }
  }
  if (queue->InFlight() > 0) {
    auto keepAlive = std::make_shared<std::vector<std::shared_ptr<platform::IoBuffer>>>(buffers_);
    platform::DefaultReaper().Adopt(std::move(queue), std::move(keepAlive));
  }
}

}  // namespace kestrune::workloads
