#include "workloads/enterprise_workload.h"

#include <algorithm>
#include <cstring>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/pattern_fill.h"
#include "platform/files.h"
#include "platform/io_buffer.h"
#include "workloads/job_stats.h"
#include "workloads/mark_diagnosis.h"
#include "workloads/pattern_dumps.h"
#include "workloads/sequential_pass.h"
#include "workloads/throughput_engine.h"
#include "workloads/verify_engine.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using platform::IoCompletion;
using platform::IoRequest;
using platform::IoStatus;

constexpr uint32_t kQueueDepth = 32;
constexpr uint32_t kDataBytes = 512 * 1024;
// Sectors kept free at the end of each part: the largest request (64 KiB) in 512-byte sectors.
constexpr uint64_t kReservedSectors = 128;
constexpr uint32_t kWaitMs = 5;
constexpr uint64_t kStopGraceMs = 10000;
constexpr uint32_t kSecondReadDelayMs = 1000;

uint64_t PercentPart(uint64_t sectors, uint32_t percent) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(sectors) * percent / 100);
}

struct Slot {
  bool busy = false;
  bool write = false;
  uint64_t offset = 0;
  uint32_t length = 0;
  uint64_t issuedMs = 0;
};

class EnterpriseJob {
 public:
  EnterpriseJob(const EnterpriseSetup& setup, EnterpriseHooks& hooks, platform::Host& host,
                const std::array<EnterpriseSpan, kEnterpriseRangeCount>& spans)
      : s_(setup), hooks_(hooks), host_(host), spans_(spans) {}

  EnterpriseOutcome Run();

 private:
  bool cancelled() const { return s_.cancel != nullptr && s_.cancel->load(); }
  void Fail(int32_t failure, uint64_t offset) {
    if (out_.code != code::kSuccessTrue) return;
    out_.code = failure;
    out_.lastOffset = offset;
  }
  bool Issue(size_t slot);
  void Completed(const IoCompletion& c);
  void Verify(const Slot& slot);
  // Leaves requests the drive does not give back to the reaper, with the buffers they use.
  void Abandon();

  const EnterpriseSetup& s_;
  EnterpriseHooks& hooks_;
  platform::Host& host_;
  std::array<EnterpriseSpan, kEnterpriseRangeCount> spans_;
  EnterpriseOutcome out_;
  std::unique_ptr<platform::AsyncQueue> queue_;
  std::shared_ptr<platform::IoBuffer> data_, read_, reread_;
  std::vector<Slot> slots_;
  Generator tableDraws_{0};
  Generator offsetDraws_{0};
  std::optional<TableCursor<uint8_t>> sizes_, ranges_, directions_;
  bool stuck_ = false;  // a request of the read-back did not come back in time
};

bool EnterpriseJob::Issue(size_t index) {
  const uint32_t ss = s_.sectorSize;
  const uint8_t range = ranges_->Next();
  const EnterpriseSpan& span = spans_[range];
  const uint64_t sector = span.firstSector + RandomBlock(offsetDraws_, span.startSectors);
  const uint8_t size = sizes_->Next();
  const uint32_t length = std::max(kMixedSizes[size].bytes / ss * ss, ss);
  const bool write = directions_->Next() != 0;
  const uint64_t offset = sector * ss;
  EnterpriseCounts& c = out_.counts;
  ++c.cells[range][size];
  ++(write ? c.writes : c.reads);
  c.bytes += length;
  out_.lastOffset = offset;
  hooks_.Touched(offset, length);
  Slot& slot = slots_[index];
  slot = Slot{true, write, offset, length, host_.MonotonicMs()};
  const IoRequest request = write ? IoRequest::Write(offset, data_->bytes().first(length), index)
                                  : IoRequest::Read(offset, read_->bytes().first(length), index);
  if (queue_->Submit(request).status == platform::SubmitStatus::kOk) return true;
  slot.busy = false;
  Fail(write ? code::kWriteFailed : code::kReadFailed, offset);
  return false;
}

void EnterpriseJob::Completed(const IoCompletion& c) {
  if (c.tag >= slots_.size()) return;
  Slot& slot = slots_[c.tag];
  slot.busy = false;
  if (c.status == IoStatus::kCancelled) return;
  if (c.status != IoStatus::kOk || c.bytes != slot.length)
    return Fail(slot.write ? code::kWriteFailed : code::kReadFailed, slot.offset);
  if (s_.dataCompare && slot.write && out_.code == code::kSuccessTrue) Verify(slot);
}

// The write of slot has completed (nothing else is in flight): read it back and compare; a
// difference is read once more a second later and classified.
void EnterpriseJob::Verify(const Slot& slot) {
  const uint32_t ss = s_.sectorSize;
  const std::span<const uint8_t> expected = data_->bytes().first(slot.length);
  const std::span<uint8_t> first = read_->bytes().first(slot.length);
  std::memset(first.data(), 0, first.size());
  const std::optional<IoStatus> read = SubmitAndWait(*queue_, host_, IoRequest::Read(slot.offset, first, 0));
  if (!read) {
    stuck_ = true;
    return Fail(code::kIoResponseTimeout, slot.offset);
  }
  if (*read != IoStatus::kOk) return Fail(code::kReadFailed, slot.offset);
  const std::optional<size_t> sector = FirstDifferingSector(first, expected, ss);
  if (!sector) return;

  const std::string& base = s_.outputBase;
  platform::WriteWholeFile(DumpName(base, DumpKind::Expected), SectorOf(expected, *sector, ss));
  platform::WriteWholeFile(DumpName(base, DumpKind::FirstRead), SectorOf(first, *sector, ss));
  host_.SleepMs(kSecondReadDelayMs);
  const std::span<uint8_t> second = reread_->bytes().first(slot.length);
  std::memset(second.data(), 0, second.size());
  const std::optional<IoStatus> again =
      SubmitAndWait(*queue_, host_, IoRequest::Read(slot.offset, second, 0));
  stuck_ = !again;
  platform::WriteWholeFile(DumpName(base, DumpKind::SecondRead), SectorOf(second, *sector, ss));
  const bool secondRight = again == IoStatus::kOk && !FirstDifferingSector(second, expected, ss);
  Fail(secondRight ? code::kMiscompareThenCorrect : code::kMiscompareTwice, slot.offset);
  CompareReport& r = out_.report;
  r.actionLba = slot.offset / ss;
  r.errorLba = r.actionLba + *sector;
  r.accessSize = slot.length;
  r.cause = DiagnoseMiscompare({expected, first, ss, false, false});
}

void EnterpriseJob::Abandon() {
  auto keep =
      std::make_shared<std::vector<std::shared_ptr<platform::IoBuffer>>>(std::vector{data_, read_, reread_});
  platform::DefaultReaper().Adopt(std::move(queue_), keep);
}

EnterpriseOutcome EnterpriseJob::Run() {
  out_.report.outputBase = s_.outputBase;
  out_.report.cycle = 1;
  queue_ = hooks_.OpenQueue(s_.dataCompare ? 1 : kQueueDepth, out_.why);
  if (!queue_) {
    out_.code = code::kOpenDiskFailed;
    return out_;
  }
  for (auto* b : {&data_, &read_, &reread_}) *b = platform::IoBuffer::Make(kDataBytes);
  if (!data_ || !read_ || !reread_) {
    out_.code = code::kHostMemoryAllocFailed;
    return out_;
  }
  disk::FillPattern(data_->bytes(), disk::kAutoPattern);
  // The shuffled tables as the tick count orders them; the sectors from the cryptographic source.
  tableDraws_ = Generator(TickSeed(host_));
  sizes_.emplace(MixedSizeTable(tableDraws_));
  ranges_.emplace(EnterpriseRangeTable(tableDraws_));
  directions_.emplace(RatioTable(kPercentTableSize, s_.writeRatio, tableDraws_));
  offsetDraws_ = Generator(WorkerSeed(host_, 0));
  slots_.assign(queue_->facts().depth, Slot{});

  const uint64_t startMs = host_.MonotonicMs();
  uint64_t lastSecond = 0, stopAskedMs = 0;
  uint32_t spinner = 0, atStop = 0;
  bool stopAsked = false;
  IoCompletion done[kQueueDepth];
  for (;;) {
    const uint64_t now = host_.MonotonicMs();
    const bool timeUp = s_.limitTimeSec != 0 && now - startMs >= uint64_t{s_.limitTimeSec} * 1000;
    auto bytesUp = [&] { return s_.limitBytes != 0 && out_.counts.bytes >= s_.limitBytes; };
    const bool stopping = out_.code != code::kSuccessTrue || cancelled() || timeUp || bytesUp();
    for (size_t i = 0; i < slots_.size() && !stopping && !bytesUp(); ++i)
      if (!slots_[i].busy && !Issue(i)) break;
    const auto inFlight = static_cast<uint32_t>(
        std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.busy; }));
    if (inFlight == 0 && (stopping || bytesUp() || out_.code != code::kSuccessTrue)) break;
    // A cancel or a failure takes back what is in flight; the drive has 10 s to give it back.
    if (!stopAsked && (cancelled() || out_.code != code::kSuccessTrue)) {
      stopAsked = true;
      stopAskedMs = now;
      atStop = inFlight;
      queue_->CancelAll();
    }
    for (size_t k = 0, n = queue_->Wait(done, kWaitMs); k < n; ++k) Completed(done[k]);
    const uint64_t after = host_.MonotonicMs();
    for (const Slot& s : slots_)
      if (s.busy && after - s.issuedMs >= kRequestTimeoutMs) {
        Fail(code::kIoResponseTimeout, s.offset);
        stuck_ = true;
      }
    if (stuck_ || (stopAsked && after - stopAskedMs >= kStopGraceMs)) {
      Abandon();
      break;
    }
    const uint64_t seconds = (after - startMs) / 1000;
    if (seconds == lastSecond) continue;
    lastSecond = seconds;
    if (stopAsked && cancelled()) {
      const auto left = static_cast<uint32_t>(
          std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.busy; }));
      hooks_.ShowStatus(base::Format("Cancel Job: %u%%", PercentOf(atStop - std::min(left, atStop), atStop)));
    } else {
      hooks_.ShowStatus(EnterpriseStatusLine(SpinnerAt(spinner++), seconds, out_.counts.bytes));
    }
  }
  hooks_.ShowStatus("");
  out_.report.code = out_.code;
  out_.report.percent = s_.limitBytes != 0 ? PercentOf(out_.counts.bytes, s_.limitBytes) : 0;
  if (out_.report.accessSize == 0) out_.report.accessSize = kMixedSizes[0].bytes;
  return out_;
}

}  // namespace

std::vector<uint8_t> EnterpriseRangeTable(Generator& generator) {
  return ShuffledKinds(kEnterpriseRangeEntries, generator);
}

std::optional<std::array<EnterpriseSpan, kEnterpriseRangeCount>> EnterpriseSpans(uint64_t startSector,
                                                                                 uint64_t rangeSectors) {
  const uint64_t a = PercentPart(rangeSectors, 5), b = PercentPart(rangeSectors, 15),
                 c = PercentPart(rangeSectors, 80);
  // A part of no more than the reserved sectors would have no start left (5 % - 128 underflows).
  if (std::min({a, b, c}) <= kReservedSectors) return std::nullopt;
  return std::array<EnterpriseSpan, kEnterpriseRangeCount>{
      EnterpriseSpan{startSector, a - kReservedSectors},
      EnterpriseSpan{startSector + a, b - kReservedSectors},
      EnterpriseSpan{startSector + PercentPart(rangeSectors, 20), c - kReservedSectors}};
}

EnterpriseOutcome RunEnterprise(const EnterpriseSetup& setup, EnterpriseHooks& hooks, platform::Host& host) {
  const auto spans = EnterpriseSpans(setup.startSector, setup.rangeSectors);
  if (!spans || setup.sectorSize == 0 || setup.writeRatio > 100) {
    EnterpriseOutcome out;
    out.code = code::kBadParameter;
    out.report.code = out.code;
    return out;
  }
  return EnterpriseJob(setup, hooks, host, *spans).Run();
}

std::string TenthsOfGiB(uint64_t bytes) {
  const auto tenths = static_cast<uint64_t>(static_cast<unsigned __int128>(bytes) * 10 >> 30);
  return base::Format("%llu.%llu", static_cast<unsigned long long>(tenths / 10),
                      static_cast<unsigned long long>(tenths % 10));
}

std::string EnterpriseStatusLine(char spinner, uint64_t seconds, uint64_t bytes) {
  return base::Format("%c Time: %llu sec | TxSize: %s GB", spinner, static_cast<unsigned long long>(seconds),
                      TenthsOfGiB(bytes).c_str());
}

}  // namespace kestrune::workloads
