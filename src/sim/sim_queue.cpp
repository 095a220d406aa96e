#include "sim/sim_queue.h"

#include <algorithm>
#include <array>
#include <thread>

namespace kestrune::sim {

using platform::IoCompletion;
using platform::IoOp;
using platform::IoRequest;
using platform::IoStatus;
using platform::SubmitResult;
using platform::SubmitStatus;

namespace {

// Below a millisecond the host has no sleep short enough: the wait yields this many times, checking
// the clock, before it sleeps a whole millisecond.
constexpr int kYieldsBeforeSleep = 256;

uint32_t KindOf(IoOp op) {
  switch (op) {
    case IoOp::kRead:
      return request::kRead;
    case IoOp::kWrite:
    case IoOp::kWriteFua:
      return request::kWrite;
    case IoOp::kTrim:
      return request::kTrim;
    case IoOp::kFlush:
      return request::kFlush;
  }
  return request::kRead;
}

IoStatus StatusOf(MediaStatus s) {
  switch (s) {
    case MediaStatus::kOk:
      return IoStatus::kOk;
    case MediaStatus::kMediaError:
      return IoStatus::kMediaError;
    default:
      return IoStatus::kFailed;
  }
}

}  // namespace

SimQueue::SimQueue(Opening opening, platform::Host& host)
    : host_(host),
      drive_(std::move(opening.drive)),
      base_(opening.base),
      generation_(drive_->generation()),
      model_(drive_->description().queue),
      frequency_(host.TickFrequency()),
      slots_(opening.options.depth) {
  facts_.mechanism = "lab";
  facts_.depth = opening.options.depth;
  facts_.lengthBytes = opening.length;
  facts_.sectorSize = drive_->description().sectorSize;
  facts_.unbuffered = opening.options.unbuffered;
  facts_.writeThrough = opening.options.writeThrough;
  facts_.readOnly = opening.options.access != platform::OpenAccess::kReadWrite;
  for (uint32_t i = facts_.depth; i > 0; --i) free_.push_back(i - 1);
  busy_.reserve(facts_.depth);
  due_.reserve(facts_.depth);
  apply_.reserve(facts_.depth);
}

SimQueue::~SimQueue() {
  CancelAll();
  Drain();
}

uint32_t SimQueue::Jitter(uint64_t draw) const {
  if (model_.jitterUs == 0) return 0;
  return static_cast<uint32_t>((draw >> 16) % (uint64_t{model_.jitterUs} + 1));
}

SubmitResult SimQueue::Submit(std::span<const IoRequest> requests) {
  SubmitResult result;
  const uint64_t now = host_.Ticks();
  for (const IoRequest& r : requests) {
    result.status = platform::CheckNextRequest(r, facts_, !free_.empty());
    if (result.status != SubmitStatus::kOk) return result;
    const uint32_t index = free_.back();
    free_.pop_back();
    Slot& s = slots_[index];
    s.request = r;
    s.admission = drive_->Admit(KindOf(r.op), generation_);
    s.issue = now;
    s.start = drive_->pacer().Start(now, frequency_);
    const uint64_t stallUs = uint64_t{s.admission.stallMs} * 1000;
    s.due = s.start + TicksOfUs(stallUs + model_.latencyUs + Jitter(s.admission.draw) + s.admission.slowUs);
    s.order = order_++;
    s.race = s.admission.draw;
    s.cancelled = false;
    busy_.push_back(index);
    ++result.queued;
  }
  return result;
}

IoCompletion SimQueue::Finish(Slot& slot, bool alive) {
  const IoRequest& r = slot.request;
  IoCompletion c;
  c.tag = r.tag;
  c.op = r.op;
  c.issueTicks = slot.issue;
  c.completeTicks = slot.due;
  const SimDrive::Verdict verdict = slot.admission.verdict;
  if (slot.cancelled) {
    c.status = IoStatus::kCancelled;
  } else if (verdict == SimDrive::Verdict::kGone || !alive) {
    c.status = IoStatus::kGone;
  } else if (verdict == SimDrive::Verdict::kFail) {
    c.status = IoStatus::kFailed;
  } else if (drive_->InFlightAtCutLocked(slot.admission)) {
    // The power went while the drive worked on it: a write got as far as some sector.
    if (r.op == IoOp::kWrite || r.op == IoOp::kWriteFua) drive_->TearLocked(base_ + r.offset, {r.data, r.length});
    c.status = IoStatus::kFailed;
  } else {
    const uint32_t sectorSize = drive_->description().sectorSize;
    const std::optional<uint64_t>& cap = slot.admission.shortLimit;
    const uint64_t moved = cap ? ShortLength(r.length, *cap, sectorSize) : r.length;
    MediaStatus s = MediaStatus::kOk;
    switch (r.op) {
      case IoOp::kRead:
        s = drive_->ReadMedia(base_ + r.offset, {r.data, moved});
        break;
      case IoOp::kWrite:
      case IoOp::kWriteFua:
        s = drive_->WriteMedia(base_ + r.offset, {r.data, moved},
                               r.op == IoOp::kWriteFua || facts_.writeThrough);
        break;
      case IoOp::kTrim:
        if (!drive_->description().trimSupported) {
          c.status = IoStatus::kNotSupported;
          return c;
        }
        s = drive_->TrimMedia(base_ + r.offset, r.length);
        break;
      case IoOp::kFlush:
        s = drive_->FlushMedia() ? MediaStatus::kOk : MediaStatus::kIoError;
        break;
    }
    c.status = StatusOf(s);
    if (c.status == IoStatus::kOk)
      c.bytes = r.op == IoOp::kFlush ? 0 : r.op == IoOp::kTrim ? r.length : moved;
  }
  return c;
}

size_t SimQueue::Reap(std::span<IoCompletion> out) {
  if (busy_.empty() || out.empty()) return 0;
  const uint64_t now = host_.Ticks();
  due_.clear();
  for (uint32_t index : busy_)
    if (slots_[index].due <= now) due_.push_back(index);
  if (due_.empty()) return 0;
  std::sort(due_.begin(), due_.end(), [this](uint32_t a, uint32_t b) {
    const Slot& x = slots_[a];
    const Slot& y = slots_[b];
    return x.due != y.due ? x.due < y.due : x.order < y.order;
  });
  if (due_.size() > out.size()) due_.resize(out.size());
  // The data moves by completion time and, among requests due together, in random order.
  apply_.resize(due_.size());
  for (uint32_t i = 0; i < apply_.size(); ++i) apply_[i] = i;
  std::sort(apply_.begin(), apply_.end(), [this](uint32_t a, uint32_t b) {
    const Slot& x = slots_[due_[a]];
    const Slot& y = slots_[due_[b]];
    return x.due != y.due ? x.due < y.due : x.race != y.race ? x.race < y.race : x.order < y.order;
  });
  {
    auto lock = drive_->Lock();
    for (uint32_t i : apply_) {
      Slot& s = slots_[due_[i]];
      drive_->PowerCutDueLocked();
      out[i] = Finish(s, drive_->AliveLocked(generation_));
      // Each served request counts at once: the drive may go away, or lose power, between two.
      if (!s.cancelled && s.admission.verdict == SimDrive::Verdict::kGo && out[i].status != IoStatus::kGone &&
          !drive_->InFlightAtCutLocked(s.admission))
        drive_->RequestDoneLocked(1);
    }
  }
  for (uint32_t index : due_) {
    busy_.erase(std::find(busy_.begin(), busy_.end(), index));
    free_.push_back(index);
  }
  return due_.size();
}

uint64_t SimQueue::NextDue() const {
  uint64_t next = UINT64_MAX;
  for (uint32_t index : busy_) next = std::min(next, slots_[index].due);
  return next;
}

size_t SimQueue::Wait(std::span<IoCompletion> out, uint32_t timeoutMs) {
  size_t n = Reap(out);
  if (n > 0 || busy_.empty()) return n;
  const uint64_t deadline = host_.Ticks() + TicksOfUs(uint64_t{timeoutMs} * 1000);
  int yields = 0;
  for (;;) {
    const uint64_t now = host_.Ticks();
    const uint64_t until = std::min(NextDue(), deadline);
    if (now >= until) {
      n = Reap(out);
      if (n > 0 || now >= deadline) return n;
      continue;
    }
    const uint64_t left = until - now;
    if (left * 1000 < frequency_ && yields < kYieldsBeforeSleep) {
      ++yields;
      std::this_thread::yield();
      continue;
    }
    yields = 0;
    host_.SleepMs(static_cast<uint32_t>(std::max<uint64_t>(1, (left * 1000 + frequency_ - 1) / frequency_)));
  }
}

bool SimQueue::CancelSlot(Slot& slot, uint64_t now) {
  if (slot.cancelled || slot.due <= now) return false;
  if (now < slot.start) {  // still waiting for its turn: the drive never sees it
    slot.cancelled = true;
    slot.due = now;
  }
  return true;
}

size_t SimQueue::Cancel(uint64_t tag) {
  const uint64_t now = host_.Ticks();
  size_t asked = 0;
  for (uint32_t index : busy_)
    if (slots_[index].request.tag == tag && CancelSlot(slots_[index], now)) ++asked;
  return asked;
}

size_t SimQueue::CancelAll() {
  const uint64_t now = host_.Ticks();
  size_t asked = 0;
  for (uint32_t index : busy_)
    if (CancelSlot(slots_[index], now)) ++asked;
  return asked;
}

}  // namespace kestrune::sim
