// The Linux queue on io_uring (liburing): one ring per queue, owned by the worker that uses it.
//
// The target's descriptor is registered with the ring (fixed file) and so, on request, are the
// buffers (fixed buffers: RegisterBuffers). Submit prepares one entry per request and passes the
// whole batch with one io_uring_submit; the issue time is taken when that call has returned.
// Completions are peeked from the ring without a system call; Wait sleeps in
// io_uring_wait_cqe_timeout. FUA is a write with RWF_DSYNC, flush IORING_OP_FSYNC with data sync;
// a trim is done at once on the submitting thread (QueueTarget::Trim) and waits to be reaped.
// Cancel sends IORING_OP_ASYNC_CANCEL for each request; a direct read or write the device has
// started is not taken back and completes as usual.
//
// The ring is made without IORING_SETUP_SINGLE_ISSUER and its descriptor is not registered with
// the thread, so the queue may pass to another thread (a reaper).
#pragma once

#include <liburing.h>

#include <deque>
#include <memory>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "platform/linux/queue_target.h"

namespace kestrune::platform::linux_dev {

class UringQueue final : public AsyncQueue {
 public:
  // A ring for the target, which the queue then takes; nullptr, target left to the caller, with
  // error the (positive) errno value when the system will not set one up.
  static std::unique_ptr<UringQueue> Open(std::unique_ptr<QueueTarget>& target, Host& host, int& error);
  ~UringQueue() override;

  const QueueFacts& facts() const override { return facts_; }
  uint32_t InFlight() const override { return inFlight_; }
  using AsyncQueue::Submit;  // and the one-request form
  SubmitResult Submit(std::span<const IoRequest> requests) override;
  size_t Reap(std::span<IoCompletion> out) override;
  size_t Wait(std::span<IoCompletion> out, uint32_t timeoutMs) override;
  size_t Cancel(uint64_t tag) override;
  size_t CancelAll() override;
  bool RegisterBuffers(std::span<const std::span<uint8_t>> buffers) override;

 private:
  struct Slot {
    IoRequest request;
    uint64_t issue = 0;
    bool busy = false;
    bool done = false;  // completed at submit (a trim): waits in ready_
    bool cancelAsked = false;
    uint32_t serial = 0;  // counts the slot's requests, so that a late cancel never hits the next one
  };
  // What an entry of the submission ring belongs to: a slot's request (its serial and index), or a
  // cancel (whose own completion says nothing the queue needs).
  static constexpr uint64_t kCancelEntry = UINT64_MAX;
  uint64_t UserData(uint32_t index) const { return uint64_t{slots_[index].serial} << 32 | index; }

  UringQueue(std::unique_ptr<QueueTarget> target, Host& host) : target_(std::move(target)), host_(host) {}
  io_uring_sqe* NextEntry();
  void Prepare(io_uring_sqe* sqe, uint32_t index);
  // Passes the prepared entries to the kernel and stamps the issue time of those it took.
  void SubmitPrepared();
  void AskCancel(uint32_t index);
  IoCompletion Complete(uint32_t index, int result, uint64_t now);
  // The registered buffer that holds [data, data + length), or -1.
  int FixedBufferOf(const uint8_t* data, uint64_t length) const;

  io_uring ring_{};
  bool ringReady_ = false;
  std::unique_ptr<QueueTarget> target_;
  Host& host_;
  QueueFacts facts_;
  bool fixedFile_ = false;
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;
  uint32_t inFlight_ = 0;
  std::deque<uint64_t> prepared_;               // entries not yet taken by the kernel, in ring order
  std::deque<uint32_t> ready_;                  // slots done at submit, waiting to be reaped
  std::vector<IoCompletion> readyCompletions_;  // by slot index, for ready_
  std::vector<iovec> registered_;
};

}  // namespace kestrune::platform::linux_dev
