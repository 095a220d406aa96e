// Compare_RandSizeOverlap: writes of mixed sizes that overwrite one another, from QD slots kept busy
// through one queue, checked against a copy of the whole range in host memory. A write that would
// overlap one in flight is not issued (the drive may order them either way); read-back checks run
// only while no write is in flight, so the copy is exactly what the drive must hold.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/disk_state.h"
#include "disk/pattern_fill.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "platform/io_buffer.h"
#include "workloads/byte_range.h"
#include "workloads/compare_commands.h"
#include "workloads/compare_report.h"
#include "workloads/coverage_line.h"
#include "workloads/coverage_map.h"
#include "workloads/job_stats.h"
#include "workloads/mark_diagnosis.h"
#include "workloads/pattern_dumps.h"
#include "workloads/pattern_pass.h"
#include "workloads/random_source.h"
#include "workloads/ratio_table.h"
#include "workloads/sequential_pass.h"
#include "workloads/throughput_engine.h"
#include "workloads/verify_engine.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using platform::IoCompletion;
using platform::IoRequest;
using platform::IoStatus;

constexpr uint32_t kSlotBytes = 512 * 1024;
constexpr uint32_t kPrepareBytes = 128 * 1024;
constexpr size_t kRingSize = 100;
constexpr uint32_t kIssueTries = 100;
constexpr uint32_t kCheckEverySeconds = 10;
constexpr uint32_t kWaitMs = 5;

// The size table: the mixed sizes for "AUTO", otherwise every entry fixedBytes.
std::vector<uint32_t> SizeTable(std::optional<uint32_t> fixedBytes, Generator& generator) {
  if (fixedBytes) return std::vector<uint32_t>(kPercentTableSize, *fixedBytes);
  std::vector<uint32_t> table;
  for (uint8_t index : MixedSizeTable(generator)) table.push_back(kMixedSizes[index].bytes);
  return table;
}

struct Slot {
  bool busy = false;
  uint64_t offset = 0;
  uint32_t length = 0;
  std::shared_ptr<platform::IoBuffer> buffer;
};

// True when [offset, offset + length) overlaps a write in flight.
bool OverlapsInFlight(const std::vector<Slot>& slots, uint64_t offset, uint64_t length) {
  return std::any_of(slots.begin(), slots.end(), [&](const Slot& s) {
    return s.busy && offset < s.offset + s.length && s.offset < offset + length;
  });
}

// One read through the queue, waited for at most 180 s; kGone when it did not finish in time.
IoStatus ReadOnce(platform::AsyncQueue& q, platform::Host& host, uint64_t offset, std::span<uint8_t> into) {
  const std::optional<IoStatus> st = SubmitAndWait(q, host, IoRequest::Read(offset, into, 1u << 31));
  if (!st) return IoStatus::kGone;
  return *st == IoStatus::kOk ? IoStatus::kOk : IoStatus::kFailed;
}

}  // namespace

void CompareRandSizeOverlap(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"LBA", "RangeLenMB", "QD", "RandAccessKB", "RandRatio", "OverRatio", "LimitTxSizeMB",
                        "LimitTimeSec"});
  const uint64_t lba = static_cast<uint64_t>(in.I64(0));
  const uint32_t rangeMB = in.U32(1024);
  const uint32_t qd = in.U32(32);
  const std::optional<engine::Value> sizeValue = in.Any();
  const uint32_t randRatio = in.U32(5), overRatio = in.U32(5);
  const std::optional<engine::Value> limitValue = in.Any();
  const uint32_t limitSeconds = in.U32(60);
  if (!in.ok()) return;
  if (qd < 1 || qd > 32) return interp.ReportCompletion(view, code::kBadParameter, "iQDepth: 1 - 32");
  if (rangeMB < 64 || rangeMB > 2048)
    return interp.ReportCompletion(view, code::kBadParameter, "This Function, iRangeLenMB: 64 - 2048");
  if (randRatio > 100 || overRatio > 100)
    return interp.ReportCompletion(view, code::kBadParameter, "iRandRatio/iOverRatio: 0 - 100");
  const disk::DiskEntry* disk = CompareTarget(interp, view);
  if (!disk) return;
  const uint32_t ss = disk->sectorSize;
  std::optional<uint32_t> fixedBytes;
  if (sizeValue && !(sizeValue->type == engine::ValueType::kText && base::EqualsNoCase(sizeValue->text, "AUTO"))) {
    if (sizeValue->type == engine::ValueType::kText || sizeValue->number <= 0) return interp.ReportCompletion(view, code::kBadParameter, "");
    // Whole sectors, at most the slot buffer: a larger request would write bytes past it.
    const uint64_t bytes = std::min<uint64_t>(static_cast<uint64_t>(sizeValue->number) * 1024, kSlotBytes);
    fixedBytes = static_cast<uint32_t>(std::max<uint64_t>(bytes / ss * ss, ss));
  }
  uint64_t start = 0;
  const uint64_t rangeBytes = uint64_t{rangeMB} * kMiB;
  if (__builtin_mul_overflow(lba, uint64_t{ss}, &start) || start >= disk->usableBytes ||
      rangeBytes > disk->usableBytes - start)
    return interp.ReportCompletion(view, code::kBadParameter, "");
  uint64_t limitMB = 0;
  if (limitValue) {
    if (limitValue->type == engine::ValueType::kText && base::ContainsNoCase(limitValue->text, "CYCLE"))
      limitMB = rangeMB;
    else if (limitValue->type == engine::ValueType::kText || limitValue->number < 0)
      return interp.ReportCompletion(view, code::kBadParameter, "");
    else
      limitMB = static_cast<uint64_t>(limitValue->number);
  }

  platform::Host& host = interp.host();
  CompareReport report;
  report.outputBase = engine::OutputBaseName(interp, view);
  std::vector<uint8_t> mirror;
  try {
    mirror.assign(rangeBytes, 0);
  } catch (const std::bad_alloc&) {
    return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
  }

  // Zeros over the whole range first, so that the copy and the drive agree before the test.
  interp.ui().ShowStatus(view, "Prepare Data...");
  {
    std::vector<std::shared_ptr<platform::IoBuffer>> zeros = MakePassBuffers(kPatternQueueDepth, kPrepareBytes);
    auto queue = OpenPassQueue(interp, view, disk->devicePath, platform::OpenAccess::kReadWrite, kPatternQueueDepth);
    if (zeros.empty()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    if (!queue) return;
    SequentialPass pass(host, zeros, &interp.CancelFlag(view));
    const PassResult r = pass.Run(std::move(queue), PassPlan{platform::IoOp::kWrite, {start, start + rangeBytes}, kPrepareBytes},
                                  nullptr, [](std::span<const uint8_t>, uint64_t) { return true; });
    if (r.end == PassEnd::kFailed || r.end == PassEnd::kTimedOut) {
      report.code = r.end == PassEnd::kFailed ? code::kWriteFailed : code::kIoResponseTimeout;
      interp.ui().ShowStatus(view, "");
      return FinishCompare(interp, view, report, r.offset / ss);
    }
  }
  host.SleepMs(1000);

  std::unique_ptr<platform::AsyncQueue> queue =
      OpenPassQueue(interp, view, disk->devicePath, platform::OpenAccess::kReadWrite, qd + 1);
  if (!queue) return;
  std::vector<Slot> slots(qd);
  for (uint32_t i = 0; i < qd; ++i) {
    slots[i].buffer = platform::IoBuffer::Make(kSlotBytes);
    if (!slots[i].buffer) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    std::memset(slots[i].buffer->data(), static_cast<int>(i), kSlotBytes);
  }
  std::shared_ptr<platform::IoBuffer> readBuffer = platform::IoBuffer::Make(kSlotBytes);
  if (!readBuffer) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");

  Generator generator(WorkerSeed(host, 0));
  TableCursor<uint32_t> sizes(SizeTable(fixedBytes, generator));
  TableCursor<uint8_t> randomTable(RatioTable(kPercentTableSize, randRatio, generator));
  TableCursor<uint8_t> overlapTable(RatioTable(kPercentTableSize, overRatio, generator));
  std::vector<uint64_t> ring;
  size_t ringNext = 0;
  uint64_t written = 0, writes = 0, sequential = start, failingOffset = start;
  std::optional<uint64_t> pendingCheck;
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  const uint64_t startMs = host.MonotonicMs();
  uint64_t lastSecond = 0;
  uint32_t spinner = 0;
  bool stopping = false, cancelAsked = false;
  const uint64_t end = start + rangeBytes;
  CoverageMap map(start, rangeBytes, coverage::kPatternSearch);
  map.Start();

  auto inFlight = [&] { return std::any_of(slots.begin(), slots.end(), [](const Slot& s) { return s.busy; }); };
  while (report.code == code::kSuccessTrue) {
    const uint64_t now = host.MonotonicMs();
    const bool timeUp = limitSeconds != 0 && now - startMs >= uint64_t{limitSeconds} * 1000;
    const bool bytesUp = limitMB != 0 && written >= limitMB * kMiB;
    stopping = stopping || cancel.load() || timeUp || bytesUp;
    if (stopping && !inFlight()) break;
    // Issue into the free slots, unless a check waits for the writes to drain.
    for (uint32_t i = 0; i < qd && !stopping && !pendingCheck; ++i) {
      Slot& s = slots[i];
      if (s.busy) continue;
      bool placed = false;
      for (uint32_t tries = 0; tries < kIssueTries && !placed; ++tries) {
        uint64_t offset = 0;
        uint64_t size = sizes.Next();
        const bool over = overlapTable.Next() != 0 && writes >= 99 && !ring.empty();
        if (over) {
          offset = ring[generator.Below(static_cast<uint32_t>(ring.size()))];
          size = size * ((i + 1) / 8);
        } else if (randomTable.Next() != 0) {
          offset = start + RandomBlock(generator, rangeBytes / ss) * ss;
        } else {
          offset = sequential >= end ? start : sequential;
        }
        size = std::clamp<uint64_t>(size / ss * ss, ss, kSlotBytes);
        size = std::min(size, end - offset);
        if (OverlapsInFlight(slots, offset, size)) continue;
        disk::StampExtendedMarks(s.buffer->bytes().first(size), offset / ss, ss, writes, 0);
        if (queue->Submit(IoRequest::Write(offset, s.buffer->bytes().first(size), i)).status !=
            platform::SubmitStatus::kOk) {
          report.code = code::kWriteFailed;
          failingOffset = offset;
          break;
        }
        ++writes;
        if (!over) sequential = offset + size;
        if (over) pendingCheck = offset;
        s.busy = true, s.offset = offset, s.length = static_cast<uint32_t>(size);
        placed = true;
      }
    }
    if (stopping && !cancelAsked && cancel.load()) {
      queue->CancelAll();
      cancelAsked = true;
    }
    IoCompletion done[32];
    const size_t n = inFlight() ? queue->Wait(done, kWaitMs) : 0;
    for (size_t k = 0; k < n; ++k) {
      Slot& s = slots.at(done[k].tag);
      s.busy = false;
      if (done[k].status == IoStatus::kCancelled) continue;
      if (done[k].status != IoStatus::kOk || done[k].bytes != s.length) {
        report.code = code::kWriteFailed;
        failingOffset = s.offset;
        continue;
      }
      std::memcpy(mirror.data() + (s.offset - start), s.buffer->data(), s.length);
      map.Add(s.offset, s.length);
      if (ring.size() < kRingSize) ring.push_back(s.offset);
      else ring[ringNext++ % kRingSize] = s.offset;
      written += s.length;
    }
    const uint64_t seconds = (host.MonotonicMs() - startMs) / 1000;
    if (seconds != lastSecond) {
      lastSecond = seconds;
      if (seconds % kCheckEverySeconds == 0 && !pendingCheck)
        pendingCheck = start + RandomBlock(generator, rangeBytes / ss) * ss;
      interp.ui().ShowStatus(view, CompareStatusLine(SpinnerAt(spinner++), seconds,
                                                     static_cast<uint32_t>(written / rangeBytes),
                                                     PercentOf(written % rangeBytes, rangeBytes)));
    }
    // A pending check runs once no write is in flight: the copy is then what the drive holds.
    if (pendingCheck && !inFlight() && report.code == code::kSuccessTrue) {
      const uint64_t at = *pendingCheck;
      pendingCheck.reset();
      const auto into = readBuffer->bytes().first(std::min<uint64_t>(kSlotBytes, end - at));
      const IoStatus st = ReadOnce(*queue, host, at, into);
      if (st != IoStatus::kOk) {
        report.code = st == IoStatus::kGone ? code::kIoResponseTimeout : code::kReadFailed;
        failingOffset = at;
        break;
      }
      const std::span<const uint8_t> want(mirror.data() + (at - start), into.size());
      if (const std::optional<size_t> sector = FirstDifferingSector(into, want, ss)) {
        report.code = code::kMiscompareThenCorrect;
        report.actionLba = at / ss;
        report.errorLba = report.actionLba + *sector;
        report.accessSize = into.size();
        report.cause = DiagnoseMiscompare({want, into, ss, true, false});
        failingOffset = at;
        platform::WriteWholeFile(DumpName(report.outputBase, DumpKind::Expected), SectorOf(want, *sector, ss));
        platform::WriteWholeFile(DumpName(report.outputBase, DumpKind::FirstRead), SectorOf(into, *sector, ss));
        host.SleepMs(1000);
        const uint64_t sectorAt = at + *sector * ss;
        const auto again = readBuffer->bytes().first(ss);
        const bool reread = ReadOnce(*queue, host, sectorAt, again) == IoStatus::kOk;
        platform::WriteWholeFile(DumpName(report.outputBase, DumpKind::SecondRead), again);
        if (!reread || FirstDifferingSector(again, SectorOf(want, *sector, ss), ss)) report.code = code::kMiscompareTwice;
      }
    }
  }
  // Wait for what is still in flight (a write that failed or a miscompare left others running).
  queue->CancelAll();
  queue->Drain();
  ShowCoverage(interp, view, map, report.outputBase);
  interp.ui().ShowStatus(view, "");
  report.cycle = static_cast<uint32_t>(written / rangeBytes);
  report.percent = PercentOf(written % rangeBytes, rangeBytes);
  FinishCompare(interp, view, report, failingOffset / ss);
}

}  // namespace kestrune::workloads
