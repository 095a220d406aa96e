#include "workloads/client_replay.h"

#include <algorithm>
#include <optional>

#include "base/completion_codes.h"
#include "base/text.h"
#include "platform/io_buffer.h"
#include "workloads/job_stats.h"
#include "workloads/random_source.h"
#include "workloads/sequential_pass.h"
#include "workloads/throughput_engine.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using platform::IoCompletion;
using platform::IoRequest;
using platform::IoStatus;

constexpr uint32_t kQueueDepth = 32;
constexpr uint32_t kDrawBelow = 32768;  // the data offsets are draws below 32 KiB
constexpr uint64_t kPage = 4096;
// The most one write request moves; a longer write of the trace goes as several of these.
constexpr uint64_t kPieceBytes = uint64_t{4} << 20;
constexpr uint32_t kWaitMs = 5;
constexpr uint64_t kStopGraceMs = 10000;

struct Slot {
  bool busy = false;
  TraceOp op = TraceOp::kFlush;
  uint64_t offset = 0;
  uint64_t length = 0;
  uint64_t issuedMs = 0;
};

// The request of a line still to be issued: a write may need several pieces.
struct Pending {
  TraceOp op = TraceOp::kFlush;
  TargetExtent extent;
  uint64_t dataOffset = 0;
};

class Replay {
 public:
  Replay(const ReplaySetup& setup, ReplayHooks& hooks, platform::Host& host)
      : s_(setup), hooks_(hooks), host_(host), lines_(setup.text), draws_(TickSeed(host)) {}

  ReplayOutcome Run();

 private:
  bool cancelled() const { return s_.cancel != nullptr && s_.cancel->load(); }
  void Fail(int32_t failure, uint64_t offset) {
    if (out_.code != code::kSuccessTrue) return;
    out_.code = failure;
    out_.lastOffset = offset;
  }
  bool TakeLine();
  bool Issue(size_t slot);
  void Completed(const IoCompletion& c);
  uint32_t busy() const {
    return static_cast<uint32_t>(
        std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.busy; }));
  }

  const ReplaySetup& s_;
  ReplayHooks& hooks_;
  platform::Host& host_;
  TraceLines lines_;
  Generator draws_;
  ReplayOutcome out_;
  std::unique_ptr<platform::AsyncQueue> queue_;
  std::shared_ptr<platform::IoBuffer> data_;
  std::vector<Slot> slots_;
  std::optional<Pending> pending_;
  uint64_t linesTaken_ = 0, bytesTaken_ = 0;
  bool trimRefusedNoted_ = false;
};

bool Replay::TakeLine() {
  std::string_view line;
  while (lines_.Next(line)) {
    const ParsedLine p = ParseTraceLine(line);
    if (p.kind != LineKind::kRequest) continue;  // blank (bad lines stopped the analysis before)
    ++linesTaken_;
    out_.stats.Add(p.request);
    bytesTaken_ += p.request.sectors * kTraceSectorBytes;
    Pending next;
    next.op = p.request.op;
    if (next.op != TraceOp::kFlush) next.extent = s_.map->Map(p.request);
    if (next.op == TraceOp::kWrite)
      next.dataOffset = TraceDataOffset(draws_.Below(kDrawBelow), s_.text.size());
    pending_ = next;
    return true;
  }
  return false;
}

bool Replay::Issue(size_t index) {
  Pending& p = *pending_;
  Slot& slot = slots_[index];
  IoRequest request;
  uint64_t length = 0;
  switch (p.op) {
    case TraceOp::kFlush:
      request = IoRequest::Flush(index);
      break;
    case TraceOp::kTrim:
      length = p.extent.length;
      request = IoRequest::Trim(p.extent.offset, length, index);
      break;
    case TraceOp::kWrite:
      length = std::min(p.extent.length, kPieceBytes);
      request = IoRequest::Write(p.extent.offset, data_->bytes().subspan(p.dataOffset, length), index);
      break;
  }
  slot = Slot{true, p.op, p.extent.offset, length, host_.MonotonicMs()};
  if (p.op != TraceOp::kFlush) hooks_.Touched(p.extent.offset, length);
  p.extent.offset += length;
  p.extent.length -= length;
  if (p.extent.length == 0) pending_.reset();
  if (queue_->Submit(request).status == platform::SubmitStatus::kOk) return true;
  slot.busy = false;
  Fail(slot.op == TraceOp::kWrite ? code::kWriteFailed : code::kIoControlError, slot.offset);
  return false;
}

void Replay::Completed(const IoCompletion& c) {
  if (c.tag >= slots_.size()) return;
  Slot& slot = slots_[c.tag];
  slot.busy = false;
  if (c.status == IoStatus::kCancelled) return;
  if (slot.op == TraceOp::kTrim && c.status == IoStatus::kNotSupported) {
    // A target without deallocation takes the workload's writes all the same.
    if (!trimRefusedNoted_)
      out_.notes.push_back("The target does not support trims: the trace's trims were refused");
    trimRefusedNoted_ = true;
    return;
  }
  const uint64_t wanted = slot.op == TraceOp::kFlush ? 0 : slot.length;
  if (c.status != IoStatus::kOk || c.bytes != wanted)
    Fail(slot.op == TraceOp::kWrite ? code::kWriteFailed : code::kIoControlError, slot.offset);
}

ReplayOutcome Replay::Run() {
  queue_ = hooks_.OpenQueue(kQueueDepth, out_.why);
  if (!queue_) {
    out_.code = code::kOpenDiskFailed;
    return out_;
  }
  // The write data: the trace text from its start, repeated where a write reaches past its end.
  data_ = platform::IoBuffer::Make(kDrawBelow + kPieceBytes);
  if (!data_) {
    out_.code = code::kHostMemoryAllocFailed;
    return out_;
  }
  for (size_t i = 0; i < data_->size() && !s_.text.empty(); ++i)
    data_->data()[i] = static_cast<uint8_t>(s_.text[i % s_.text.size()]);
  slots_.assign(queue_->facts().depth, Slot{});

  const uint64_t startMs = host_.MonotonicMs();
  uint64_t lastSecond = 0, stopAskedMs = 0;
  uint32_t spinner = 0;
  bool stopAsked = false, stuck = false, noMore = false;
  IoCompletion done[kQueueDepth];
  for (;;) {
    const uint64_t now = host_.MonotonicMs();
    const bool timeUp = s_.limitTimeSec != 0 && now - startMs >= uint64_t{s_.limitTimeSec} * 1000;
    const bool stopping = out_.code != code::kSuccessTrue || cancelled() || timeUp;
    for (size_t i = 0; i < slots_.size() && !stopping && !noMore; ++i) {
      if (slots_[i].busy) continue;
      if (!pending_) {
        noMore = (s_.limitBytes != 0 && bytesTaken_ >= s_.limitBytes) || !TakeLine();
        if (noMore) break;
      }
      if (!Issue(i)) break;
    }
    const uint32_t inFlight = busy();
    if (inFlight == 0 && (stopping || noMore || out_.code != code::kSuccessTrue)) break;
    if (!stopAsked && (cancelled() || out_.code != code::kSuccessTrue)) {
      stopAsked = true;
      stopAskedMs = now;
      queue_->CancelAll();
    }
    for (size_t k = 0, n = queue_->Wait(done, kWaitMs); k < n; ++k) Completed(done[k]);
    const uint64_t after = host_.MonotonicMs();
    for (const Slot& s : slots_)
      if (s.busy && after - s.issuedMs >= kRequestTimeoutMs) {
        Fail(code::kIoResponseTimeout, s.offset);
        stuck = true;
      }
    if (stuck || (stopAsked && after - stopAskedMs >= kStopGraceMs)) {
      // The drive keeps requests: the reaper lets them finish and frees the data afterwards.
      platform::DefaultReaper().Adopt(std::move(queue_), data_);
      break;
    }
    const uint64_t seconds = (after - startMs) / 1000;
    if (seconds == lastSecond) continue;
    lastSecond = seconds;
    if (stopAsked && cancelled())
      hooks_.ShowStatus(base::Format("Cancel Job: %u%%", PercentOf(kQueueDepth - busy(), kQueueDepth)));
    else
      hooks_.ShowStatus(ReplayStatusLine(SpinnerAt(spinner++), seconds, bytesTaken_,
                                         PercentOf(linesTaken_, s_.requestLines)));
  }
  hooks_.ShowStatus("");
  return out_;
}

}  // namespace

uint64_t TraceDataOffset(uint32_t draw, uint64_t textBytes) {
  const uint64_t pages = textBytes / kPage * kPage;
  return pages == 0 ? 0 : (draw / kPage * kPage) % pages;
}

std::string ReplayStatusLine(char spinner, uint64_t seconds, uint64_t bytes, uint32_t percent) {
  const auto h = static_cast<uint64_t>(static_cast<unsigned __int128>(bytes) * 100 >> 30);
  return base::Format("%c Time: %llu sec | TxSize: %llu.%02llu GB | Progress: %u%%", spinner,
                      static_cast<unsigned long long>(seconds), static_cast<unsigned long long>(h / 100),
                      static_cast<unsigned long long>(h % 100), percent);
}

ReplayOutcome ReplayTrace(const ReplaySetup& setup, ReplayHooks& hooks, platform::Host& host) {
  ReplayOutcome out;
  if (setup.map == nullptr) {
    out.code = code::kBadParameter;
    return out;
  }
  return Replay(setup, hooks, host).Run();
}

}  // namespace kestrune::workloads
