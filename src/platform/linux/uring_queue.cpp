#include "platform/linux/uring_queue.h"

#include <linux/fs.h>

#include <algorithm>
#include <cerrno>

namespace kestrune::platform::linux_dev {
namespace {

// Room in the submission ring for every slot's request and a cancel of each.
unsigned RingEntries(uint32_t depth) {
  unsigned entries = 8;
  while (entries < 2 * depth) entries *= 2;
  return entries;
}

}  // namespace

std::unique_ptr<UringQueue> UringQueue::Open(std::unique_ptr<QueueTarget>& target, Host& host, int& error) {
  io_uring ring{};
  const int rc = io_uring_queue_init(RingEntries(target->facts().depth), &ring, 0);
  if (rc < 0) {
    error = -rc;
    return nullptr;
  }
  std::unique_ptr<UringQueue> q(new UringQueue(std::move(target), host));
  q->ring_ = ring;
  q->facts_ = q->target_->facts();
  q->facts_.mechanism = "io_uring";
  q->ringReady_ = true;
  const int fd = q->target_->fd();
  q->fixedFile_ = io_uring_register_files(&q->ring_, &fd, 1) == 0;
  q->slots_.resize(q->facts_.depth);
  q->readyCompletions_.resize(q->facts_.depth);
  for (uint32_t i = q->facts_.depth; i > 0; --i) q->free_.push_back(i - 1);
  return q;
}

UringQueue::~UringQueue() {
  if (!ringReady_) return;
  CancelAll();
  Drain();
  io_uring_queue_exit(&ring_);  // also drops the registered file and buffers
}

io_uring_sqe* UringQueue::NextEntry() {
  io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
  if (sqe == nullptr) {  // the ring is full of entries the kernel has not taken yet
    SubmitPrepared();
    sqe = io_uring_get_sqe(&ring_);
  }
  return sqe;
}

int UringQueue::FixedBufferOf(const uint8_t* data, uint64_t length) const {
  for (size_t i = 0; i < registered_.size(); ++i) {
    const uint8_t* base = static_cast<const uint8_t*>(registered_[i].iov_base);
    if (data >= base && data + length <= base + registered_[i].iov_len) return static_cast<int>(i);
  }
  return -1;
}

void UringQueue::Prepare(io_uring_sqe* sqe, uint32_t index) {
  const IoRequest& r = slots_[index].request;
  const int fd = fixedFile_ ? 0 : target_->fd();
  const unsigned length = static_cast<unsigned>(r.length);
  const int fixed = r.data != nullptr ? FixedBufferOf(r.data, r.length) : -1;
  switch (r.op) {
    case IoOp::kRead:
      if (fixed >= 0) {
        io_uring_prep_read_fixed(sqe, fd, r.data, length, r.offset, fixed);
      } else {
        io_uring_prep_read(sqe, fd, r.data, length, r.offset);
      }
      break;
    case IoOp::kWrite:
    case IoOp::kWriteFua:
      if (fixed >= 0) {
        io_uring_prep_write_fixed(sqe, fd, r.data, length, r.offset, fixed);
      } else {
        io_uring_prep_write(sqe, fd, r.data, length, r.offset);
      }
      if (r.op == IoOp::kWriteFua) sqe->rw_flags = RWF_DSYNC;
      break;
    case IoOp::kFlush:
      io_uring_prep_fsync(sqe, fd, IORING_FSYNC_DATASYNC);
      break;
    case IoOp::kTrim:
      break;  // never queued: done at submit
  }
  if (fixedFile_) sqe->flags |= IOSQE_FIXED_FILE;
  io_uring_sqe_set_data64(sqe, UserData(index));
}

void UringQueue::SubmitPrepared() {
  if (prepared_.empty()) return;
  const int taken = io_uring_submit(&ring_);
  const uint64_t now = host_.Ticks();
  // A failed call (no memory for the moment, an interrupt) took nothing: the entries stay in the
  // ring and the next Submit, Reap or Wait passes them again.
  for (int i = 0; i < taken && !prepared_.empty(); ++i) {
    if (prepared_.front() != kCancelEntry) slots_[prepared_.front()].issue = now;
    prepared_.pop_front();
  }
}

SubmitResult UringQueue::Submit(std::span<const IoRequest> requests) {
  SubmitResult result;
  for (const IoRequest& r : requests) {
    result.status = CheckNextRequest(r, facts_, !free_.empty());
    if (result.status != SubmitStatus::kOk) break;
    io_uring_sqe* sqe = r.op == IoOp::kTrim ? nullptr : NextEntry();
    if (r.op != IoOp::kTrim && sqe == nullptr) {
      result.status = SubmitStatus::kFull;
      break;
    }
    const uint32_t index = free_.back();
    free_.pop_back();
    ++inFlight_;
    Slot& s = slots_[index];
    s = Slot{r, 0, true, false, false, s.serial + 1};
    ++result.queued;
    if (r.op == IoOp::kTrim) {
      const uint64_t issue = host_.Ticks();
      const int error = target_->Trim(r.offset, r.length);
      readyCompletions_[index] = SyncCompletion(r, error, 0, issue, host_.Ticks());
      s.done = true;
      ready_.push_back(index);
      continue;
    }
    Prepare(sqe, index);
    prepared_.push_back(index);
  }
  SubmitPrepared();
  return result;
}

IoCompletion UringQueue::Complete(uint32_t index, int result, uint64_t now) {
  Slot& s = slots_[index];
  IoCompletion c;
  c.tag = s.request.tag;
  c.op = s.request.op;
  c.issueTicks = s.issue;
  c.completeTicks = std::max(now, s.issue);
  if (result >= 0) {
    c.status = IoStatus::kOk;
    c.bytes = s.request.op == IoOp::kFlush ? 0 : static_cast<uint64_t>(result);
  } else {
    const int error = -result;
    // A blocking request that a cancel interrupted ends with EINTR.
    c.status = error == EINTR && s.cancelAsked ? IoStatus::kCancelled : StatusOfErrno(error);
    if (c.status != IoStatus::kCancelled) c.systemError = error;
  }
  s.busy = false;
  free_.push_back(index);
  --inFlight_;
  return c;
}

size_t UringQueue::Reap(std::span<IoCompletion> out) {
  SubmitPrepared();
  size_t n = 0;
  while (n < out.size() && !ready_.empty()) {
    const uint32_t index = ready_.front();
    ready_.pop_front();
    out[n++] = readyCompletions_[index];
    slots_[index].busy = false;
    free_.push_back(index);
    --inFlight_;
  }
  while (n < out.size()) {
    io_uring_cqe* cqes[64];
    const unsigned got =
        io_uring_peek_batch_cqe(&ring_, cqes, static_cast<unsigned>(std::min<size_t>(64, out.size() - n)));
    if (got == 0) break;
    const uint64_t now = host_.Ticks();
    for (unsigned i = 0; i < got; ++i) {
      const uint64_t data = io_uring_cqe_get_data64(cqes[i]);
      if (data != kCancelEntry)
        out[n++] = Complete(static_cast<uint32_t>(data & 0xFFFFFFFF), cqes[i]->res, now);
    }
    io_uring_cq_advance(&ring_, got);
  }
  return n;
}

size_t UringQueue::Wait(std::span<IoCompletion> out, uint32_t timeoutMs) {
  size_t n = Reap(out);
  if (n > 0 || inFlight_ == 0) return n;
  const uint64_t frequency = host_.TickFrequency();
  const uint64_t deadline = host_.Ticks() + uint64_t{timeoutMs} * frequency / 1000;
  for (;;) {
    const uint64_t now = host_.Ticks();
    if (now >= deadline) return 0;
    const uint64_t leftNs = (deadline - now) * 1000000000 / frequency;
    __kernel_timespec ts{static_cast<long long>(leftNs / 1000000000),
                         static_cast<long long>(leftNs % 1000000000)};
    io_uring_cqe* cqe = nullptr;
    const int rc = io_uring_wait_cqe_timeout(&ring_, &cqe, &ts);
    n = Reap(out);
    if (n > 0 || rc == -ETIME) return n;
    // Woken by a cancel's own completion or an interrupt: wait on for the time left.
  }
}

void UringQueue::AskCancel(uint32_t index) {
  Slot& s = slots_[index];
  if (!s.busy || s.done || s.cancelAsked) return;
  io_uring_sqe* sqe = NextEntry();
  if (sqe == nullptr) return;
  io_uring_prep_cancel64(sqe, UserData(index), 0);
  io_uring_sqe_set_data64(sqe, kCancelEntry);
  prepared_.push_back(kCancelEntry);
  s.cancelAsked = true;
}

size_t UringQueue::Cancel(uint64_t tag) {
  size_t asked = 0;
  for (uint32_t i = 0; i < slots_.size(); ++i) {
    const Slot& s = slots_[i];
    if (!s.busy || s.done || s.cancelAsked || s.request.tag != tag) continue;
    AskCancel(i);
    ++asked;
  }
  SubmitPrepared();
  return asked;
}

size_t UringQueue::CancelAll() {
  size_t asked = 0;
  for (uint32_t i = 0; i < slots_.size(); ++i) {
    const Slot& s = slots_[i];
    if (!s.busy || s.done || s.cancelAsked) continue;
    AskCancel(i);
    ++asked;
  }
  SubmitPrepared();
  return asked;
}

bool UringQueue::RegisterBuffers(std::span<const std::span<uint8_t>> buffers) {
  if (inFlight_ > 0) return false;
  if (!registered_.empty()) io_uring_unregister_buffers(&ring_);
  registered_.clear();
  std::vector<iovec> wanted;
  for (std::span<uint8_t> b : buffers) wanted.push_back(iovec{b.data(), b.size()});
  if (wanted.empty() ||
      io_uring_register_buffers(&ring_, wanted.data(), static_cast<unsigned>(wanted.size())) != 0)
    return false;
  registered_ = std::move(wanted);
  return true;
}

}  // namespace kestrune::platform::linux_dev
