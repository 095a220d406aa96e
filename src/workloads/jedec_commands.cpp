#include "workloads/jedec_commands.h"

#include <fstream>
#include <optional>
#include <string>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/disk_state.h"
#include "disk/sector_session.h"
#include "engine/arguments.h"
#include "engine/expression.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/literals.h"
#include "engine/output.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "workloads/byte_range.h"
#include "workloads/client_chunk_map.h"
#include "workloads/client_replay.h"
#include "workloads/client_trace.h"
#include "workloads/compare_report.h"
#include "workloads/coverage_line.h"
#include "workloads/coverage_map.h"
#include "workloads/enterprise_report.h"
#include "workloads/enterprise_workload.h"
#include "workloads/fill_by_pattern.h"
#include "workloads/job_target.h"
#include "workloads/lba_lines.h"
#include "workloads/obtain_client_trace.h"
#include "workloads/progress_line.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr uint32_t kScaleColour = 0xFF9632;
constexpr uint64_t kClientMinRangeBytes = 64 * kMiB;
constexpr const char* kDefaultTrace = "Client_128_GB_Master_Trace.txt";

// A limit in MiB: "CYCLE" is the range, a number its MiB; nullopt (-2 reported) for anything else.
std::optional<uint64_t> LimitBytes(engine::Interpreter& interp, uint32_t view,
                                   const std::optional<engine::Value>& v, uint64_t fallbackMiB,
                                   uint64_t rangeBytes) {
  if (!v) return fallbackMiB * kMiB;
  if (v->type == engine::ValueType::kText && base::ContainsNoCase(v->text, "CYCLE")) return rangeBytes;
  const std::optional<int64_t> n = engine::ToInt64(*v);
  uint64_t bytes = 0;
  if (!n || *n < 0 || __builtin_mul_overflow(static_cast<uint64_t>(*n), kMiB, &bytes)) {
    interp.ReportCompletion(view, code::kBadParameter, "");
    return std::nullopt;
  }
  return bytes;
}

// "CurrentLBA: 0x%08X%08X" of the failing offset, and the code with it as its detail.
void ReportFailure(engine::Interpreter& interp, uint32_t view, int32_t failure, uint64_t lba) {
  const std::string where = CurrentLbaLine(lba);
  interp.writer().WriteLine(interp.output(view), where, engine::kDetail, 10, kCurrentLbaColour);
  interp.ReportCompletion(view, failure, where);
}

void PrintLines(engine::Interpreter& interp, uint32_t view, const std::vector<ColouredLine>& lines) {
  for (const ColouredLine& l : lines)
    interp.writer().WriteLine(interp.output(view), l.text, engine::kDetail, 10, l.colour);
}

// What both workloads ask of their command: a queue on the target, the status line, the coverage.
class JobHooks final : public EnterpriseHooks, public ReplayHooks {
 public:
  JobHooks(engine::Interpreter& interp, uint32_t view, std::string path, bool writes, CoverageMap& map)
      : interp_(interp), view_(view), path_(std::move(path)), writes_(writes), map_(map) {}
  std::unique_ptr<platform::AsyncQueue> OpenQueue(uint32_t depth, std::string& why) override {
    platform::QueueOptions options;
    options.depth = depth;
    options.access = writes_ ? platform::OpenAccess::kReadWrite : platform::OpenAccess::kRead;
    return disk::StateOf(interp_).tree->OpenQueue(path_, options, interp_.host(), why);
  }
  void ShowStatus(std::string_view text) override { interp_.ui().ShowStatus(view_, text); }
  void Touched(uint64_t offset, uint64_t bytes) override { map_.Add(offset, bytes); }

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
  std::string path_;
  bool writes_;
  CoverageMap& map_;
};

// Removes the test file, when the job had one, on every way out of the command.
struct TestFileGuard {
  const ChosenTarget& target;
  ~TestFileGuard() { RemoveTestFile(target); }
};

// JEDEC219A_Enterprise( LBA:0, RangeLenMB:0, WriteRatio:100, DataCompare:FALSE, LimitTxSizeMB:1024,
// LimitTimeSec:0 )
void Enterprise(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"LBA", "RangeLenMB", "WriteRatio", "DataCompare", "LimitTxSizeMB", "LimitTimeSec"});
  const uint64_t lba = static_cast<uint64_t>(in.I64(0));
  const uint64_t rangeMB = in.U32(0);
  const uint32_t writeRatio = in.U32(100);
  const bool dataCompare = in.Bool(false);
  const std::optional<engine::Value> limit = in.Any();
  const uint32_t limitSec = in.U32(0);
  if (!in.ok()) return;
  if (writeRatio > 100) return interp.ReportCompletion(view, code::kBadParameter, "");
  disk::DiskState& state = disk::StateOf(interp);
  if (!disk::HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry& disk = state.current;
  const uint32_t ss = disk.sectorSize;
  const std::optional<ByteRange> range = FillRange(lba, rangeMB, true, ss, disk.usableBytes);
  if (!range || range->size() == 0 || !EnterpriseSpans(lba, range->size() / ss))
    return interp.ReportCompletion(view, code::kBadParameter, "");
  const std::optional<uint64_t> limitBytes = LimitBytes(interp, view, limit, 1024, range->size());
  if (!limitBytes) return;
  const std::optional<ChosenTarget> target =
      ChooseTarget(interp, view, disk, writeRatio != 0, true, range->end);
  if (!target) return;
  TestFileGuard removeFile{*target};

  EnterpriseSetup setup;
  setup.startSector = lba;
  setup.rangeSectors = range->size() / ss;
  setup.sectorSize = ss;
  setup.writeRatio = writeRatio;
  setup.dataCompare = dataCompare;
  setup.limitBytes = *limitBytes;
  setup.limitTimeSec = limitSec;
  setup.cancel = &interp.CancelFlag(view);
  setup.outputBase = engine::OutputBaseName(interp, view);
  CoverageMap map(range->first, range->size(), coverage::kPatternSearch);
  map.Start();
  JobHooks hooks(interp, view, target->path, writeRatio != 0, map);
  const EnterpriseOutcome outcome = RunEnterprise(setup, hooks, interp.host());
  if (outcome.code == code::kOpenDiskFailed || outcome.code == code::kHostMemoryAllocFailed)
    return interp.ReportCompletion(view, outcome.code, outcome.why);
  ShowCoverage(interp, view, map, setup.outputBase);
  PrintLines(interp, view, EnterpriseReportLines(outcome.counts));
  if (dataCompare) return FinishCompare(interp, view, outcome.report, outcome.lastOffset / ss);
  if (outcome.code < 0) ReportFailure(interp, view, outcome.code, outcome.lastOffset / ss);
}

// The trace file: a full path as it is, else the work folder's copy, else the usual lookup.
std::optional<std::string> FindTrace(engine::Interpreter& interp, uint32_t view, const std::string& name) {
  if (engine::IsFullPath(name)) return platform::FileExists(name) ? std::optional(name) : std::nullopt;
  const std::string inWork = platform::JoinPath(interp.settings().workFolder, name);
  if (!interp.settings().workFolder.empty() && platform::FileExists(inWork)) return inWork;
  return engine::LookupFile(name, interp.Folders(view));
}

// The whole trace text; -11 (unreadable) or -83 (no memory) reported, nullopt.
std::optional<std::string> LoadTrace(engine::Interpreter& interp, uint32_t view, const std::string& path,
                                     const std::string& name) {
  std::ifstream file(platform::FsPath(path), std::ios::binary | std::ios::ate);
  const std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : -1;
  if (size < 0) {
    interp.ReportCompletion(view, code::kFileOpenFailed, name);
    return std::nullopt;
  }
  std::string text;
  try {
    text.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    interp.ReportCompletion(view, code::kHostMemoryAllocFailed,
                            "Load Master File fail, close AP then try again");
    return std::nullopt;
  }
  file.seekg(0);
  if (!file.read(text.data(), size)) {
    interp.ReportCompletion(view, code::kFileOpenFailed, name);
    return std::nullopt;
  }
  return text;
}

// JEDEC219A_Client( [TraceFile:"..."], LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 )
void Client(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::VarList& vars = interp.view(view).vars;
  std::string_view peek = args;
  const std::optional<engine::Pair> first = engine::NextPair(peek);
  const bool named = first && base::ContainsNoCase(first->name, "File");
  std::string traceName = kDefaultTrace;
  std::optional<engine::Pair> rangePair;
  std::optional<engine::Value> limit;
  uint64_t lba = 0;
  uint32_t limitSec = 60;
  auto read = [&](engine::ArgReader& in) {
    if (named) traceName = in.Text(kDefaultTrace);
    lba = static_cast<uint64_t>(in.I64(0));
    rangePair = in.Raw();
    limit = in.Any();
    limitSec = in.U32(60);
    return in.ok();
  };
  if (named) {
    engine::ArgReader in(vars, errors, args, {"File", "LBA", "RangeMB", "LimitTxSizeMB", "LimitTimeSec"});
    if (!read(in)) return;
  } else {
    engine::ArgReader in(vars, errors, args, {"LBA", "RangeMB", "LimitTxSizeMB", "LimitTimeSec"});
    if (!read(in)) return;
  }
  // The range in MiB, or in sectors when its parameter's name says so.
  uint64_t rangeUnits = 0;
  if (rangePair && !rangePair->value.empty()) {
    const std::optional<int64_t> n = engine::ToInt64(engine::ReadValue(vars, errors, rangePair->value));
    if (!n || *n < 0) return interp.ReportCompletion(view, code::kBadParameter, "");
    rangeUnits = static_cast<uint64_t>(*n);
  }
  const bool inSectors = rangePair && base::ContainsNoCase(rangePair->name, "Sector");
  disk::DiskState& state = disk::StateOf(interp);
  if (!disk::HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry& disk = state.current;
  const uint32_t ss = disk.sectorSize;

  std::string tracePath = FindTrace(interp, view, traceName).value_or("");
  if (tracePath.empty() && ObtainClientTrace(interp, view, traceName, tracePath) < 0) return;

  const std::optional<ByteRange> range = FillRange(lba, rangeUnits, !inSectors, ss, disk.usableBytes);
  if (!range) return interp.ReportCompletion(view, code::kBadParameter, "");
  if (range->size() < kClientMinRangeBytes)
    return interp.ReportCompletion(view, code::kPrepareFileFailed, "RangeLenMB must 0 or large than 64");
  const std::optional<uint64_t> limitBytes = LimitBytes(interp, view, limit, 0, range->size());
  if (!limitBytes) return;

  const std::optional<ChosenTarget> target = ChooseTarget(interp, view, disk, true, false, range->end);
  if (!target) return;
  TestFileGuard removeFile{*target};
  const std::optional<std::string> text = LoadTrace(interp, view, tracePath, traceName);
  if (!text) return;

  engine::OutputWriter& writer = interp.writer();
  writer.WriteLine(interp.output(view), "Wait", engine::kDetail, 10, engine::colour::kGrey);
  ProgressLine analysing(interp, view, engine::colour::kGrey);
  auto show = [&](uint32_t percent) {
    analysing.Show(base::Format("Analyze Master Trace File %u%%", percent));
  };
  show(0);
  const std::variant<TraceAnalysis, TraceFault> analysed = AnalyzeTrace(*text, show);
  if (const auto* fault = std::get_if<TraceFault>(&analysed))
    return interp.ReportCompletion(view, code::kInvalidData, TraceFaultText(traceName, *fault));
  const TraceAnalysis& trace = std::get<TraceAnalysis>(analysed);
  PrintLines(interp, view, TraceStatsLines(trace.stats));

  const ClientChunkMap chunks(trace.usedChunks, range->first, range->size(), ss);
  const ClientScale& scale = chunks.scale();
  writer.WriteLine(
      interp.output(view),
      base::Format("Target Range (MB)  : %llu", static_cast<unsigned long long>(range->size() / kMiB)),
      engine::kDetail, 10, engine::colour::kWhite);
  writer.WriteLine(
      interp.output(view),
      base::Format("Cold Range Scale X : %llu.%llu", static_cast<unsigned long long>(scale.scale / 100),
                   static_cast<unsigned long long>(scale.scale % 100)),
      engine::kDetail, 10, kScaleColour);

  ReplaySetup setup;
  setup.text = *text;
  setup.map = &chunks;
  setup.requestLines = trace.requests;
  setup.limitBytes = *limitBytes;
  setup.limitTimeSec = limitSec;
  setup.cancel = &interp.CancelFlag(view);
  const std::string base = engine::OutputBaseName(interp, view);
  CoverageMap map(range->first, range->size(), coverage::kPatternSearch);
  map.Start();
  JobHooks hooks(interp, view, target->path, true, map);
  const ReplayOutcome outcome = ReplayTrace(setup, hooks, interp.host());
  if (outcome.code == code::kOpenDiskFailed || outcome.code == code::kHostMemoryAllocFailed)
    return interp.ReportCompletion(view, outcome.code, outcome.why);
  ShowCoverage(interp, view, map, base);
  PrintLines(interp, view, TraceStatsLines(outcome.stats));
  for (const std::string& note : outcome.notes)
    writer.WriteLine(interp.output(view), note, engine::kDetail, 10, engine::colour::kGrey);
  if (outcome.code < 0) ReportFailure(interp, view, outcome.code, outcome.lastOffset / ss);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"JEDEC219A_Enterprise", engine::kAnyDisk, Enterprise},
    {"JEDEC219A_Client", engine::kAnyDisk, Client},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterJedecCommands(engine::Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::workloads
