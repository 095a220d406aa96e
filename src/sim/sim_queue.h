// The lab's queue (platform/async_queue.h) on a simulated drive's disk or volume: requests run in
// this process, timed by the host clock, so that with a FakeHost every latency, stall and IOPS
// ceiling passes on the virtual clock and costs no real time.
//
// A request passes the drive's failure injection when it is submitted (SimDrive::Admit: injected
// failures, stalls, slow requests, short transfers, a drive that is gone) and is given the instant
// the drive answers: its start (the drive's IOPS ceiling, QueuePacer) plus the stall, the drive's
// QueueModel latency and jitter, and the slow-request delay. At that instant it is done: the data
// moves on the drive's media (so a read's buffer is written, and a write's read, only then, as by
// a device) and the completion carries that instant as its completion time. Requests due at one
// instant move their data in a random order (the drive's seeded generator), so overlapping
// requests in flight race as on a device; their completions still come out in submission order.
// A request in flight when the drive's power is cut (FaultPlan::powerCutAfterRequests/Ms) fails;
// a write of them has stored the sectors before a random one. A cancel takes back
// only what the drive has not started, the requests that wait their turn behind the IOPS ceiling:
// they end at once, as cancelled, without touching the media. A started request, a stalled one
// too, runs to its end as on a real drive. Reads of unreadable sectors end with kMediaError;
// requests on a drive that went away in the meantime with kGone.
//
// Requests are not written to the lab's request log (a queue may run millions of them); the open
// is, as "OpenQueue".
#pragma once

#include <memory>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {

class SimQueue final : public platform::AsyncQueue {
 public:
  struct Opening {
    std::shared_ptr<SimDrive> drive;
    uint64_t base = 0;    // volumes: the partition's byte offset on the disk
    uint64_t length = 0;  // bytes the queue reaches
    platform::QueueOptions options;
  };
  SimQueue(Opening opening, platform::Host& host);
  ~SimQueue() override;

  const platform::QueueFacts& facts() const override { return facts_; }
  uint32_t InFlight() const override { return static_cast<uint32_t>(busy_.size()); }
  using platform::AsyncQueue::Submit;  // and the one-request form
  platform::SubmitResult Submit(std::span<const platform::IoRequest> requests) override;
  size_t Reap(std::span<platform::IoCompletion> out) override;
  size_t Wait(std::span<platform::IoCompletion> out, uint32_t timeoutMs) override;
  size_t Cancel(uint64_t tag) override;
  size_t CancelAll() override;

 private:
  struct Slot {
    platform::IoRequest request;
    SimDrive::Admission admission;
    uint64_t issue = 0;
    uint64_t start = 0;  // when the drive starts it (its turn under the IOPS ceiling)
    uint64_t due = 0;    // when the drive answers
    uint64_t order = 0;  // submission order: completions due at one instant come out in it
    uint64_t race = 0;   // a random key: the order in which requests due together move their data
    bool cancelled = false;
  };

  uint64_t TicksOfUs(uint64_t us) const { return us * frequency_ / 1000000; }
  // The random part of one request's latency, in microseconds, from a draw of the drive's generator.
  uint32_t Jitter(uint64_t draw) const;
  // Ends one request whose time has come: moves its data on the media (the drive's lock is held).
  platform::IoCompletion Finish(Slot& slot, bool alive);
  // Asks the request in this slot to end: it does when the drive has not started it. False when it
  // is already done.
  bool CancelSlot(Slot& slot, uint64_t now);
  // The earliest instant a request in flight is answered.
  uint64_t NextDue() const;

  platform::Host& host_;
  std::shared_ptr<SimDrive> drive_;
  uint64_t base_;
  uint64_t generation_;
  QueueModel model_;
  uint64_t frequency_;
  platform::QueueFacts facts_;
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;  // slot indices
  std::vector<uint32_t> busy_;
  std::vector<uint32_t> due_;    // scratch of Reap
  std::vector<uint32_t> apply_;  // scratch of Reap: positions in due_, in the order data moves
  uint64_t order_ = 0;
};

}  // namespace kestrune::sim
