// Compare_SeqReadWrite and Compare_RandReadWrite (the verify engine) and Compare_WithPattern (a read
// of what FullByPattern wrote): their binding, checks and targets, and the one compare report.
#include "workloads/compare_commands.h"

#include <cstring>
#include <optional>
#include <string>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/disk_state.h"
#include "disk/pattern_fill.h"
#include "disk/sector_session.h"
#include "disk/target_mode.h"
#include "engine/arguments.h"
#include "engine/expression.h"
#include "engine/literals.h"
#include "engine/output.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "workloads/byte_range.h"
#include "workloads/compare_report.h"
#include "workloads/coverage_line.h"
#include "workloads/coverage_map.h"
#include "workloads/fill_by_pattern.h"
#include "workloads/job_stats.h"
#include "workloads/mark_diagnosis.h"
#include "workloads/pattern_dumps.h"
#include "workloads/pattern_pass.h"
#include "workloads/sequential_pass.h"
#include "workloads/verify_engine.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr uint32_t kMaxVerifyThreads = 128;
constexpr uint32_t kSecondReadDelayMs = 1000;

// A named parameter's value as a whole number; nullopt (reported) when it does not convert.
std::optional<int64_t> NumberOf(engine::Interpreter& interp, uint32_t view, const engine::Pair& pair) {
  engine::ReportingSink errors(interp, view);
  return engine::ToInt64(engine::ReadValue(interp.view(view).vars, errors, pair.value));
}

}  // namespace

const disk::DiskEntry* CompareTarget(engine::Interpreter& interp, uint32_t view, bool requireRaw) {
  disk::DiskState& state = disk::StateOf(interp);
  if (!disk::HasTarget(state)) {
    interp.ReportCompletion(view, code::kOpenDiskFailed, "");
    return nullptr;
  }
  const disk::DiskEntry& disk = state.current;
  if (!requireRaw) return &disk;
  int32_t guard = disk::RequireRaw(disk);
  if (guard == 0) guard = disk::RequireNotSystemDisk(disk);
  if (guard != 0) {
    interp.ReportCompletion(view, guard, "");
    return nullptr;
  }
  return &disk;
}

namespace {

class CommandVerifyHooks final : public VerifyHooks {
 public:
  CommandVerifyHooks(engine::Interpreter& interp, uint32_t view, const disk::DiskEntry& disk, CoverageMap& map)
      : interp_(interp), view_(view), disk_(disk), map_(map) {}
  std::unique_ptr<platform::AsyncQueue> OpenQueue(std::string& why) override {
    platform::QueueOptions options;
    options.depth = 1;
    return disk::StateOf(interp_).tree->OpenQueue(disk_.devicePath, options, interp_.host(), why);
  }
  void ShowStatus(std::string_view text) override { interp_.ui().ShowStatus(view_, text); }
  void Touched(uint64_t offset, uint64_t bytes) override { map_.Add(offset, bytes); }

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
  const disk::DiskEntry& disk_;
  CoverageMap& map_;
};

void RunVerifyCommand(engine::Interpreter& interp, uint32_t view, std::string_view args, bool random) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"LBA", "RangeLenMB", "AccessKB", "QD", "WritePattern", random ? "LimitTxSizeMB" : "LimitCycle",
                        "LimitTimeSec", "StepRun", "StepDelay", "TrimRatio", "FuaRatio", "FlushRatio", "nWrite1Read"});
  const uint64_t lba = static_cast<uint64_t>(in.I64(0));
  uint64_t rangeMB = in.U32(4096);
  const std::optional<engine::Pair> access = in.Raw();
  const uint32_t qd = in.U32(32);
  const std::optional<engine::Value> patternValue = in.Any();
  const std::optional<engine::Value> limitValue = in.Any();
  VerifyRun run;
  VerifySettings& v = run.settings;
  v.limitSeconds = in.U32(0);
  v.stepRun = in.U32(0);
  v.stepDelay = in.U32(0);
  v.trimRatio = in.U32(0);
  v.fuaRatio = in.U32(0);
  v.flushRatio = in.U32(0);
  run.nWrite1Read = in.U32(1);
  if (!in.ok()) return;
  const disk::DiskEntry* disk = disk::HasTarget(disk::StateOf(interp)) ? &disk::StateOf(interp).current : nullptr;
  const uint32_t ss = disk ? disk->sectorSize : 512;

  // The access size in KiB, or in sectors when the parameter is named AccessSector.
  uint64_t units = random ? 4 : 128;
  if (access) {
    const std::optional<int64_t> n = NumberOf(interp, view, *access);
    if (!n) return;
    units = *n < 0 ? 0 : static_cast<uint64_t>(*n);
  }
  const uint64_t accessBytes = units * (access && base::EqualsNoCase(access->name, "AccessSector") ? ss : 1024);
  std::optional<uint32_t> pattern = patternValue ? disk::PatternValue(*patternValue) : disk::kAutoPattern;
  // Sizes off the sector size or beyond 32 bits, and patterns that are no pattern, would never verify.
  if (units == 0 || qd < 1 || qd > kMaxVerifyThreads || accessBytes > UINT32_MAX || accessBytes % ss != 0 || !pattern)
    return interp.ReportCompletion(view, code::kBadParameter, "");
  if (!disk) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");

  const uint64_t capacity = disk->usableBytes;
  uint64_t start = 0;
  if (__builtin_mul_overflow(lba, uint64_t{ss}, &start) || start >= capacity)
    return interp.ReportCompletion(view, code::kBadParameter, "");
  if (rangeMB == 0 || rangeMB * kMiB > capacity - start) rangeMB = (capacity - start) / kMiB;
  if (!CompareTarget(interp, view)) return;

  // The limit: LimitCycle ranges, or LimitTxSizeMB MiB ("CYCLE": the range).
  uint64_t limitMB = random ? 1024 : 1;
  if (limitValue) {
    if (random && limitValue->type == engine::ValueType::kText && base::ContainsNoCase(limitValue->text, "CYCLE")) {
      limitMB = rangeMB;
    } else {
      const std::optional<int64_t> n = engine::ToInt64(*limitValue);
      if (!n || *n < 0) return interp.ReportCompletion(view, code::kBadParameter, "");
      limitMB = static_cast<uint64_t>(*n) * (random ? 1 : rangeMB);
    }
  } else if (!random) {
    limitMB = rangeMB;
  }
  v.random = random;
  v.startOffset = start;
  v.rangeBytes = rangeMB * kMiB;
  v.accessSize = static_cast<uint32_t>(accessBytes);
  v.threads = qd;
  v.limitBytes = limitMB * kMiB;
  if (!VerifyRatiosSound(v)) return interp.ReportCompletion(view, code::kBadParameter, "");
  run.sectorSize = ss;
  run.pattern = *pattern;
  run.outputBase = engine::OutputBaseName(interp, view);
  run.cancel = &interp.CancelFlag(view);

  CoverageMap map(v.startOffset, v.rangeBytes, random ? coverage::kRandomVerify : coverage::kSequentialVerify);
  map.Start();
  CommandVerifyHooks hooks(interp, view, *disk, map);
  const VerifyOutcome outcome = RunVerify(run, hooks, interp.host());
  ShowCoverage(interp, view, map, run.outputBase);
  for (const std::string& note : outcome.notes)
    interp.writer().WriteLine(interp.output(view), note, engine::kDetail, 10, engine::colour::kGrey);
  FinishCompare(interp, view, outcome.report, outcome.lastOffset / ss);
}

// Compare_WithPattern( LBA:0, RangeSector:1, ComparePattern:0x55AA33CC, MarkSectorHeader:TRUE, AccessKB:16384 )
void CompareWithPattern(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"LBA", "RangeSector", "ComparePattern", "MarkSectorHeader", "AccessKB"});
  const uint64_t lba = static_cast<uint64_t>(in.I64(0));
  const std::optional<engine::Pair> rangePair = in.Raw();
  const std::optional<engine::Value> patternValue = in.Any();
  const bool mark = in.Bool(true);
  const uint64_t accessKB = in.U32(16384);
  if (!in.ok()) return;
  uint64_t range = 1;
  if (rangePair && !rangePair->value.empty()) {
    const std::optional<int64_t> n = NumberOf(interp, view, *rangePair);
    if (!n) return;
    if (*n < 0) return interp.ReportCompletion(view, code::kBadParameter, "");
    range = static_cast<uint64_t>(*n);
  }
  const bool inMiB = rangePair && base::EqualsNoCase(rangePair->name, "RangeMB");
  const std::optional<uint32_t> pattern = patternValue ? disk::PatternValue(*patternValue) : 0x55AA33CCu;
  if (pattern == disk::kAutoPattern)
    return interp.ReportCompletion(view, code::kBadParameter, "Cannot support AUTO Pattern");
  const disk::DiskEntry* disk = CompareTarget(interp, view);
  if (!disk) return;
  const uint32_t ss = disk->sectorSize;
  // A chunk of 0 bytes would never move on; one off the sector size could not be read unbuffered.
  if (!pattern || accessKB == 0 || (accessKB * 1024) % ss != 0)
    return interp.ReportCompletion(view, code::kBadParameter, "");
  std::optional<ByteRange> bytes = FillRange(lba, range, inMiB, ss, disk->usableBytes);
  if (!bytes) return interp.ReportCompletion(view, code::kBadParameter, "");

  const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(accessKB * 1024, bytes->size()));
  std::vector<std::shared_ptr<platform::IoBuffer>> buffers = MakePassBuffers(kPatternQueueDepth, chunk);
  std::shared_ptr<platform::IoBuffer> expected = platform::IoBuffer::Make(chunk);
  if (buffers.empty() || !expected) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
  disk::FillPattern(expected->bytes(), *pattern);
  std::unique_ptr<platform::AsyncQueue> queue =
      OpenPassQueue(interp, view, disk->devicePath, platform::OpenAccess::kRead, kPatternQueueDepth);
  if (!queue) return;

  CompareReport report;
  report.outputBase = engine::OutputBaseName(interp, view);
  report.accessSize = accessKB * 1024;
  report.cycle = 1;
  report.actionLba = bytes->first / ss;
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  std::vector<uint8_t> want(chunk), firstRead;
  uint64_t badOffset = 0;
  std::optional<size_t> badSector;
  uint32_t shown = 101;
  // What a chunk at offset should hold: the pattern, with the short marks of its sectors when asked.
  auto expect = [&](uint64_t offset, size_t length) {
    want.assign(expected->data(), expected->data() + length);
    if (mark) disk::StampShortMarks(want, offset / ss, ss);
  };
  SequentialPass pass(interp.host(), buffers, &cancel);
  const PassResult result = pass.Run(
      std::move(queue), PassPlan{platform::IoOp::kRead, *bytes, chunk}, nullptr,
      [&](std::span<const uint8_t> data, uint64_t offset) {
        expect(offset, data.size());
        badSector = FirstDifferingSector(data, want, ss);
        report.actionLba = offset / ss;
        report.percent = PercentOf(offset + data.size() - bytes->first, bytes->size());
        if (report.percent != shown) {
          shown = report.percent;
          interp.ui().ShowStatus(view, base::Format("Compare with Pattern : %u%%", report.percent));
        }
        if (!badSector) return true;
        badOffset = offset;
        firstRead.assign(data.begin(), data.end());
        return false;
      });
  interp.ui().ShowStatus(view, "");
  if (result.end == PassEnd::kFailed || result.end == PassEnd::kTimedOut) {
    report.code = result.end == PassEnd::kFailed ? code::kReadFailed : code::kIoResponseTimeout;
    return FinishCompare(interp, view, report, result.offset / ss);
  }
  if (badSector && !cancel.load()) {
    report.errorLba = badOffset / ss + *badSector;
    platform::WriteWholeFile(DumpName(report.outputBase, DumpKind::Expected), SectorOf(want, *badSector, ss));
    platform::WriteWholeFile(DumpName(report.outputBase, DumpKind::FirstRead), SectorOf(firstRead, *badSector, ss));
    interp.host().SleepMs(kSecondReadDelayMs);
    // The same chunk once more: still wrong is in the stored data, now right was the read path.
    std::vector<uint8_t> secondRead;
    std::unique_ptr<platform::AsyncQueue> again =
        OpenPassQueue(interp, view, disk->devicePath, platform::OpenAccess::kRead, 1);
    if (again) {
      SequentialPass reread(interp.host(), {buffers[0]}, nullptr);
      reread.Run(std::move(again), PassPlan{platform::IoOp::kRead, {badOffset, badOffset + firstRead.size()}, chunk},
                 nullptr, [&](std::span<const uint8_t> data, uint64_t) {
                   secondRead.assign(data.begin(), data.end());
                   return true;
                 });
    }
    secondRead.resize(firstRead.size());
    platform::WriteWholeFile(DumpName(report.outputBase, DumpKind::SecondRead), SectorOf(secondRead, *badSector, ss));
    report.code = FirstDifferingSector(secondRead, want, ss) ? code::kMiscompareTwice : code::kMiscompareThenCorrect;
    report.cause = DiagnoseMiscompare({want, firstRead, ss, mark, false});
  }
  FinishCompare(interp, view, report, report.actionLba);
}

void CompareSeqReadWrite(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  RunVerifyCommand(interp, view, args, false);
}
void CompareRandReadWrite(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  RunVerifyCommand(interp, view, args, true);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"Compare_SeqReadWrite", engine::kAnyDisk, CompareSeqReadWrite},
    {"Compare_RandReadWrite", engine::kAnyDisk, CompareRandReadWrite},
    {"Compare_WithPattern", engine::kAnyDisk, CompareWithPattern},
    {"Compare_RandSizeOverlap", engine::kAnyDisk, CompareRandSizeOverlap},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterCompareCommands(engine::Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::workloads
