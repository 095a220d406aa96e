#include "workloads/performance_commands.h"

#include <optional>
#include <string>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/ata_smart.h"
#include "disk/disk_state.h"
#include "disk/dump_file.h"
#include "disk/nvme_operations.h"
#include "disk/sector_buffer.h"
#include "disk/sector_session.h"
#include "disk/target_mode.h"
#include "disk/pattern_fill.h"
#include "engine/arguments.h"
#include "engine/output.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "workloads/byte_range.h"
#include "workloads/job_record.h"
#include "workloads/job_target.h"
#include "workloads/performance_files.h"
#include "workloads/performance_params.h"
#include "workloads/smart_temperatures.h"
#include "workloads/test_file.h"
#include "workloads/throughput_chart.h"
#include "workloads/throughput_chart_layout.h"
#include "workloads/throughput_engine.h"
#include "workloads/video_stream_engine.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kAverageColour = 0xFFFF00;
constexpr uint32_t kQosColour = 0x804000;
constexpr uint32_t kTooManyPointsColour = 0x009696;
constexpr uint32_t kCurrentLbaColour = 0x00FFFF;
constexpr uint32_t kPrepareColour = 0x969696;
constexpr int32_t kChartLineHeight = 150;
// Samples kept for the chart of a whole job of many cycles; past this the chart shows the job's start.
constexpr size_t kJobChartSamples = 1u << 21;

// The value of a pair read by its name (ArgReader::Raw), converted as the reader converts values;
// nullopt (with the fault reported) when it does not convert.
std::optional<engine::Value> ValueOf(engine::VarList& vars, engine::ErrorSink& errors, const engine::Pair& pair) {
  engine::ArgReader one(vars, errors, "v:" + pair.value, {"v"});
  std::optional<engine::Value> v = one.Any();
  return one.ok() ? v : std::nullopt;
}

// Binds the parameters of command in the order of its usage template.
std::optional<PerformanceArgs> BindArgs(engine::Interpreter& interp, uint32_t view, std::string_view args,
                                        const PerformanceCommand& command, uint32_t sectorSize) {
  engine::ReportingSink errors(interp, view);
  engine::VarList& vars = interp.view(view).vars;
  const bool mix = command.kind == PerformanceKind::kMixReadWrite;
  // ArgReader takes its names as an initializer list: one reader per call shape below.
  PerformanceArgs a;
  auto read = [&](engine::ArgReader& in) -> bool {
    if (mix) {
      a.writeRatio = in.U32(command.writeRatio);
      a.randomRatio = in.U32(command.randomRatio);
    }
    a.lba = static_cast<uint64_t>(in.I64(0));
    a.rangeLenMB = in.U32(command.defaultRangeMB);
    std::optional<engine::Pair> access = in.Raw();
    std::optional<engine::Pair> depth = in.Raw();
    if (command.writes) {
      std::optional<engine::Value> pattern = in.Any();
      std::optional<uint32_t> p = pattern ? disk::PatternValue(*pattern) : std::optional<uint32_t>(disk::kAutoPattern);
      if (!p) {
        interp.ReportCompletion(view, code::kBadParameter, "");
        return false;
      }
      a.pattern = *p;
    }
    std::optional<engine::Value> limit = in.Any();
    a.limit = !limit ? std::string(command.defaultLimit)
                     : limit->type == engine::ValueType::kText ? limit->text : std::to_string(limit->number);
    a.limitTimeSec = in.U32(0);
    a.dotPerSec = in.U32(1);
    a.getTemperatureSec = in.U32(0);
    if (!in.ok()) return false;

    // The access size and the queue depth are read by their names too.
    auto valueOf = [&](const engine::Pair& pair) { return ValueOf(vars, errors, pair); };
    engine::Value accessValue = engine::Value::Number(command.defaultAccessKB);
    std::string accessName = "AccessKB";
    if (access) {
      std::optional<engine::Value> v = valueOf(*access);
      if (!v) return false;
      accessValue = *v;
      accessName = access->name;
    }
    a.access = ParseAccessSize(accessName, accessValue, sectorSize);
    a.queueDepth = 32;
    if (depth) {
      std::optional<engine::Value> v = valueOf(*depth);
      if (!v) return false;
      a.queueDepth = v->type == engine::ValueType::kText || v->number < 0 || v->number > UINT32_MAX
                         ? 0
                         : static_cast<uint32_t>(v->number);
      a.perWorker = base::EqualsNoCase(depth->name, "Worker");
    }
    return true;
  };
  bool ok = false;
  if (mix) {
    engine::ArgReader in(vars, errors, args,
                         {"WriteRatio", "RandRatio", "LBA", "RangeLenMB", "AccessKB", "QD", "WritePattern",
                          "LimitTxSizeMB", "LimitTimeSec", "DotPerSec", "GetTemperatureSec"});
    ok = read(in);
  } else if (command.writes) {
    engine::ArgReader in(vars, errors, args,
                         {"LBA", "RangeLenMB", "AccessKB", "QD", "WritePattern",
                          command.limitByCycles ? "LimitCycle" : "LimitTxSizeMB", "LimitTimeSec", "DotPerSec",
                          "GetTemperatureSec"});
    ok = read(in);
  } else {
    engine::ArgReader in(vars, errors, args,
                         {"LBA", "RangeLenMB", "AccessKB", "QD", command.limitByCycles ? "LimitCycle" : "LimitTxSizeMB",
                          "LimitTimeSec", "DotPerSec", "GetTemperatureSec"});
    ok = read(in);
  }
  if (!ok) return std::nullopt;
  return a;
}

// "Max MBps: %d.%02d" and its kin from KiB/s k: k / 1024, and (k mod 1024) x 100 / 1024, truncated.
std::string MbpsLine(const char* label, uint64_t kibps) {
  return base::Format("%s MBps: %llu.%02llu", label, static_cast<unsigned long long>(kibps / 1024),
                      static_cast<unsigned long long>(kibps % 1024 * 100 / 1024));
}

// The engine's view of the command: the queues on the target, temperatures, status and per-cycle files.
class CommandHooks final : public ThroughputHooks {
 public:
  CommandHooks(engine::Interpreter& interp, uint32_t view, const disk::DiskState& state, std::string target,
               bool writes, const std::string& base, uint32_t accessSize, bool temperatures)
      : interp_(interp),
        view_(view),
        state_(state),
        target_(std::move(target)),
        writes_(writes),
        accessSize_(accessSize),
        temperatures_(temperatures),
        csv_(interp.host(), base + ".CSV") {}

  std::unique_ptr<platform::AsyncQueue> OpenQueue(uint32_t depth, std::string& why) override {
    platform::QueueOptions options;
    options.depth = depth;
    options.access = writes_ ? platform::OpenAccess::kReadWrite : platform::OpenAccess::kRead;
    return state_.tree->OpenQueue(target_, options, interp_.host(), why);
  }

  std::array<uint16_t, 9> ReadTemperatures() override {
    // SATA: a fresh read of the SMART attributes (194 composite, 190 and 231 sensors 1 and 2, in
    // degrees Celsius); NVMe: the SMART / Health page (kelvin).
    if (disk::IsSataKind(state_.current.diskKind))
      return disk::ReadSataTemperatures(*state_.tree, state_.current).value_or(std::array<uint16_t, 9>{});
    if (!disk::IsNvmeKind(state_.current.diskKind)) return {};
    disk::SectorBuffer page(kSmartLogBytes);
    if (!page.ok() || disk::GetLogPage(*state_.tree, state_.current, kSmartLogId, 0, false, page.bytes()) !=
                          disk::kNvmeDone)
      return {};
    return SmartTemperatures(page.bytes());
  }

  void ShowStatus(std::string_view text) override { interp_.ui().ShowStatus(view_, text); }

  void Notice(std::string_view text) override {
    interp_.writer().WriteLine(interp_.output(view_), text, engine::kDetail, 10, kPrepareColour);
  }

  void CycleEnded(const CycleRecord& cycle) override {
    csv_.Add(cycle.samples);
    const size_t room = kJobChartSamples - std::min(kJobChartSamples, jobSamples_.size());
    jobSamples_.insert(jobSamples_.end(), cycle.samples.begin(),
                       cycle.samples.begin() + static_cast<std::ptrdiff_t>(std::min(room, cycle.samples.size())));
    lastCycleSamples_ = cycle.samples;
    rangeBytes_ = cycle.rangeBytes;
    // The record keeps the figures of each cycle, not its samples.
    CycleRecord figures = cycle;
    figures.samples = {};
    cycles_.push_back(std::move(figures));
  }

  // Saves the chart: the one cycle, or the whole job when it had more than one.
  bool SaveChart(const std::string& pngPath, uint64_t jobBytes) {
    ThroughputChartRecord chart;
    chart.accessSize = accessSize_;
    chart.temperatures = temperatures_;
    chart.temperatureOffset = disk::IsNvmeKind(state_.current.diskKind) ? 273 : 0;
    if (cycles_.size() > 1) {
      chart.samples = jobSamples_;
      chart.span = ChartSpan::kJob;
      chart.spanBytes = jobBytes;
    } else {
      chart.samples = lastCycleSamples_;
      chart.span = ChartSpan::kCycle;
      chart.spanBytes = rangeBytes_;
    }
    return SaveThroughputChart(chart, pngPath);
  }

  bool CloseCsv() { return csv_.Close(); }
  const std::vector<CycleRecord>& cycles() const { return cycles_; }

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
  const disk::DiskState& state_;
  std::string target_;
  bool writes_;
  uint32_t accessSize_;
  bool temperatures_;
  SampleCsv csv_;
  std::vector<SamplePoint> jobSamples_, lastCycleSamples_;
  uint64_t rangeBytes_ = 0;
  std::vector<CycleRecord> cycles_;
};

const char* ModeName(disk::TargetMode mode) {
  switch (mode) {
    case disk::TargetMode::kRaw:
      return "raw";
    case disk::TargetMode::kPartition:
      return "partition";
    case disk::TargetMode::kWholeDiskWithVolumes:
      break;
  }
  return "whole disk";
}

// After a job: its files (also for a job that ended early), the summary, and the result.
void ReportJob(engine::Interpreter& interp, uint32_t view, const disk::DiskEntry& disk, const ChosenTarget& target,
               const std::string& base, std::string_view command, const PerformancePlan& plan, CommandHooks& hooks,
               const ThroughputOutcome& outcome) {
  RemoveTestFile(target);
  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  const std::string pngPath = base + ".png", csvPath = base + ".CSV", qosPath = base + "_Qos.TXT";
  hooks.CloseCsv();
  const bool ran = outcome.code != code::kOpenDiskFailed;
  if (ran) {
    disk::AppendToFile(interp.host(), qosPath, base::TextBytes(QosBlock(outcome.buckets)));
    if (hooks.SaveChart(pngPath, outcome.jobBytes))
      writer.WriteLine(out, pngPath, engine::kDetail, kChartLineHeight, engine::colour::kLightBlue, engine::kPicture,
                       csvPath);
  }
  JobRecord record;
  record.command = std::string(command);
  record.plan = plan;
  record.target = {target.path, ModeName(target.mode), disk.model, disk.sectorSize, disk.usableBytes};
  record.cycles = hooks.cycles();
  record.outcome = &outcome;
  platform::WriteWholeFile(base + ".json", base::TextBytes(JobRecordJson(record)));

  auto line = [&](const std::string& text, uint32_t colour) { writer.WriteLine(out, text, engine::kDetail, 10, colour); };
  if (ran) {
    const JobStats& s = outcome.stats;
    line(s.lastCycleText, kWhite);
    line(base::Format("Transfer Size(MB): %llu", static_cast<unsigned long long>(s.transferMB)), kWhite);
    line(base::Format("Transfer Time(ms): %llu", static_cast<unsigned long long>(s.transferMs)), kWhite);
    line(MbpsLine("Max", s.maxKBps), kWhite);
    line(MbpsLine("Avg", s.avgKBps), kAverageColour);
    line(MbpsLine("Min", s.minKBps), kWhite);
    line(base::Format("Max IOps: %llu", static_cast<unsigned long long>(s.maxIOps)), kWhite);
    line(base::Format("Avg IOps: %llu", static_cast<unsigned long long>(s.avgIOps)), kAverageColour);
    line(base::Format("Min IOps: %llu", static_cast<unsigned long long>(s.minIOps)), kWhite);
    writer.WriteLine(out, "Qos Distributed List", engine::kDetail, 10, kQosColour, engine::kText, qosPath);
    line(ReadLatencyLine(outcome.readLatency, outcome.tickFrequency), kWhite);
    line(WriteLatencyLine(outcome.writeLatency, outcome.tickFrequency), kWhite);
  }
  if (outcome.code == code::kTooMuchMemory) {
    line("Stop by too much points to draw, try to resuce Parameters.", kTooManyPointsColour);
    return;
  }
  if (outcome.code >= 0) return;
  if (!outcome.failure.empty()) line(outcome.failure, kPrepareColour);
  const bool raw = target.mode == disk::TargetMode::kRaw;
  const uint64_t at = raw ? outcome.lastOffset / disk.sectorSize : outcome.lastOffset;
  const std::string where = base::Format(raw ? "CurrentLBA: 0x%08X%08X" : "CurrentOffset: 0x%08X%08X",
                                         static_cast<uint32_t>(at >> 32), static_cast<uint32_t>(at));
  line(where, kCurrentLbaColour);
  interp.ReportCompletion(view, outcome.code, where);
}

void RunPerformance(engine::Interpreter& interp, uint32_t view, std::string_view args, PerformanceKind kind) {
  const PerformanceCommand& command = CommandOf(kind);
  disk::DiskState& state = disk::StateOf(interp);
  const uint32_t sectorSize = disk::HasTarget(state) ? state.current.sectorSize : 512;
  std::optional<PerformanceArgs> bound = BindArgs(interp, view, args, command, sectorSize);
  if (!bound) return;
  if (!disk::HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry& disk = state.current;

  auto planned = PlanPerformance(command, *bound, disk.sectorSize, disk.usableBytes);
  if (const auto* fault = std::get_if<ParameterFault>(&planned))
    return interp.ReportCompletion(view, fault->code, fault->detail);
  const PerformancePlan plan = std::get<PerformancePlan>(planned);
  const JobRequest& r = plan.request;
  // The test file holds every byte the job addresses: from its start to the LBA's range end.
  std::optional<ChosenTarget> target = ChooseTarget(interp, view, disk, r.writeRatio != 0, true,
                                                    r.lba * disk.sectorSize + uint64_t{r.rangeLenMB} * kMiB);
  if (!target) return;

  const std::string base = engine::OutputBaseName(interp, view);
  ThroughputSetup setup;
  setup.request = r;
  setup.pattern = plan.pattern;
  setup.limitTimeSec = plan.limitTimeSec;
  setup.dotPerSec = plan.dotPerSec;
  setup.getTemperatureSec = plan.getTemperatureSec;
  setup.cancel = &interp.CancelFlag(view);
  CommandHooks hooks(interp, view, state, target->path, r.writeRatio != 0, base, r.accessSize,
                     plan.getTemperatureSec != 0);
  const ThroughputOutcome outcome = RunThroughputJob(setup, hooks, interp.host());
  ReportJob(interp, view, disk, *target, base, command.name, plan, hooks, outcome);
}

// Performance_VideoStream( LBA:0, RangeLenMB:0, AccessKB:8192, WritePattern:"AUTO", FrameHead:TRUE,
// LimitCycle:1, LimitTimeSec:0, FramePerDot:20 )
void VideoStream(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  disk::DiskState& state = disk::StateOf(interp);
  const uint32_t sectorSize = disk::HasTarget(state) ? state.current.sectorSize : 512;
  engine::ReportingSink errors(interp, view);
  engine::VarList& vars = interp.view(view).vars;
  engine::ArgReader in(vars, errors, args,
                       {"LBA", "RangeLenMB", "AccessKB", "WritePattern", "FrameHead", "LimitCycle", "LimitTimeSec",
                        "FramePerDot"});
  StreamArgs a;
  a.lba = static_cast<uint64_t>(in.I64(0));
  a.rangeLenMB = in.U32(0);
  std::optional<engine::Pair> access = in.Raw();
  std::optional<engine::Value> pattern = in.Any();
  a.frameHead = in.Bool(true);
  a.limitCycle = in.U32(1);
  a.limitTimeSec = in.U32(0);
  a.framePerDot = in.U32(20);
  if (!in.ok()) return;
  std::optional<uint32_t> p = pattern ? disk::PatternValue(*pattern) : std::optional<uint32_t>(disk::kAutoPattern);
  if (!p) return interp.ReportCompletion(view, code::kBadParameter, "");
  a.pattern = *p;
  std::optional<engine::Value> accessValue = access ? ValueOf(vars, errors, *access) : engine::Value::Number(8192);
  if (!accessValue) return;
  a.access = ParseAccessSize(access ? access->name : "AccessKB", *accessValue, sectorSize);
  if (!disk::HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry& disk = state.current;

  auto planned = PlanVideoStream(a, disk.sectorSize, disk.usableBytes);
  if (const auto* fault = std::get_if<ParameterFault>(&planned))
    return interp.ReportCompletion(view, fault->code, fault->detail);
  const StreamPlan stream = std::get<StreamPlan>(planned);
  const uint64_t streamBytes = uint64_t{stream.rangeLenMB} * kMiB;
  const uint64_t headBytes = a.frameHead ? kFrameRegionOffset : 0;
  std::optional<ChosenTarget> target =
      ChooseTarget(interp, view, disk, true, false, stream.startOffset + headBytes + streamBytes + stream.access.size);
  if (!target) return;

  StreamSetup setup;
  setup.startOffset = stream.startOffset;
  setup.streamBytes = streamBytes;
  setup.sectorSize = disk.sectorSize;
  setup.accessSize = stream.access.size;
  setup.accessSpan = stream.access.span;
  setup.frameHead = a.frameHead;
  setup.limitCycles = a.limitCycle;
  setup.limitTimeSec = a.limitTimeSec;
  setup.framePerDot = a.framePerDot;
  setup.pattern = a.pattern;
  setup.cancel = &interp.CancelFlag(view);
  // The record's view of the stream: one request in flight, writes at sequential offsets.
  PerformancePlan plan;
  plan.request.lba = a.lba;
  plan.request.rangeLenMB = stream.rangeLenMB;
  plan.request.sectorSize = disk.sectorSize;
  plan.request.accessSize = stream.access.size;
  plan.request.accessSpan = stream.access.span;
  plan.request.writeRatio = 100;
  plan.request.limitMB = uint64_t{stream.rangeLenMB} * a.limitCycle;
  plan.pattern = a.pattern;
  plan.limitTimeSec = a.limitTimeSec;

  const std::string base = engine::OutputBaseName(interp, view);
  CommandHooks hooks(interp, view, state, target->path, true, base, stream.access.size, false);
  const ThroughputOutcome outcome = RunVideoStream(setup, hooks, interp.host());
  ReportJob(interp, view, disk, *target, base, name, plan, hooks, outcome);
}

template <PerformanceKind kKind>
void PerformanceHandler(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  RunPerformance(interp, view, args, kKind);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"Performance_SeqRead", engine::kAnyDisk, PerformanceHandler<PerformanceKind::kSeqRead>},
    {"Performance_SeqWrite", engine::kAnyDisk, PerformanceHandler<PerformanceKind::kSeqWrite>},
    {"Performance_RandRead", engine::kAnyDisk, PerformanceHandler<PerformanceKind::kRandRead>},
    {"Performance_RandWrite", engine::kAnyDisk, PerformanceHandler<PerformanceKind::kRandWrite>},
    {"Performance_MixReadWrite", engine::kAnyDisk, PerformanceHandler<PerformanceKind::kMixReadWrite>},
    {"Performance_VideoStream", engine::kAnyDisk, VideoStream},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterPerformanceCommands(engine::Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::workloads
