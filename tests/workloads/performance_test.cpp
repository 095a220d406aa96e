// The performance commands: parameter rules and their faults, the QoS and CSV formats, the video
// stream's sequence, and whole jobs on the lab's drives: data on the medium, the summary and its
// files, cycles with an LBA, ranges that are not a multiple of the request, a media error, a stalled
// drive, a cancel that has to be forced, and the guards of writing tests. The stalls run on a clock
// warped 1000 times (a 30-second silence costs 30 ms).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "disk/sector_lab.h"
#include "platform/async_queue.h"
#include "platform/files.h"
#include "sim/ata_smart.h"
#include "base/text.h"
#include "workloads/performance_commands.h"
#include "workloads/performance_files.h"
#include "workloads/performance_params.h"
#include "workloads/png_pixels.h"
#include "workloads/throughput_engine.h"
#include "workloads/video_stream_engine.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using disk::testing::kMiB;

PerformanceArgs Args(uint32_t accessKB, uint32_t qd, std::string limit = "1") {
  PerformanceArgs a;
  a.access = AccessSize{accessKB * 1024, 0};
  a.queueDepth = qd;
  a.limit = std::move(limit);
  return a;
}

TEST(PerformancePlan, FaultsComeInTheirOrderBeforeAnyIo) {
  const PerformanceCommand& seq = CommandOf(PerformanceKind::kSeqRead);
  const PerformanceCommand& mix = CommandOf(PerformanceKind::kMixReadWrite);
  struct Case {
    const char* what;
    const PerformanceCommand& command;
    PerformanceArgs args;
    uint32_t sectorSize;
    int32_t code;
    const char* detail;
  };
  PerformanceArgs noAccess = Args(0, 32);
  PerformanceArgs badAccess = Args(4, 32);
  badAccess.access.reset();
  PerformanceArgs dots = Args(4, 32);
  dots.dotPerSec = 1001;
  PerformanceArgs ratio = Args(4, 32, "CYCLE");
  ratio.randomRatio = 101;
  PerformanceArgs pastEnd = Args(4, 32);
  pastEnd.lba = 64 * kMiB / 512;
  PerformanceArgs badLimit = Args(4, 32, "lots");
  const Case cases[] = {
      {"access size 0", seq, noAccess, 512, code::kBadParameter, ""},
      {"a malformed access size", seq, badAccess, 512, code::kBadParameter, ""},
      {"QD 0", seq, Args(4, 0), 512, code::kBadParameter, ""},
      {"DotPerSec 1001", seq, dots, 512, code::kBadParameter, ""},
      {"RandRatio 101", mix, ratio, 512, code::kBadParameter, ""},
      {"4 KiB on 8 KiB sectors", seq, Args(4, 32), 8192, code::kBadParameter, "AccessKB must base on SectorSize"},
      {"LBA at the end", seq, pastEnd, 512, code::kBadParameter, ""},
      {"LimitCycle not a number", seq, badLimit, 512, code::kBadParameter, ""},
  };
  for (const Case& c : cases) {
    auto r = PlanPerformance(c.command, c.args, c.sectorSize, 64 * kMiB);
    const auto* fault = std::get_if<ParameterFault>(&r);
    ASSERT_NE(fault, nullptr) << c.what;
    EXPECT_EQ(fault->code, c.code) << c.what;
    EXPECT_EQ(fault->detail, c.detail) << c.what;
  }
}

TEST(PerformancePlan, RangeClampLimitsAndAccessForms) {
  const uint64_t capacity = 64 * kMiB + 4096;
  // RangeLenMB 0, or past the end, is the whole MiB left after the LBA; CYCLE is that range.
  PerformanceArgs rand = Args(4, 32, "cycle");
  rand.lba = 2 * kMiB / 512;
  auto plan = std::get<PerformancePlan>(PlanPerformance(CommandOf(PerformanceKind::kRandRead), rand, 512, capacity));
  EXPECT_EQ(plan.request.rangeLenMB, 62u);
  EXPECT_EQ(plan.request.limitMB, 62u);
  EXPECT_EQ(plan.request.randomRatio, 100u);
  rand.rangeLenMB = 100;
  rand.limit = "7";
  plan = std::get<PerformancePlan>(PlanPerformance(CommandOf(PerformanceKind::kRandRead), rand, 512, capacity));
  EXPECT_EQ(plan.request.rangeLenMB, 62u);
  EXPECT_EQ(plan.request.limitMB, 7u);
  // Sequential tests count ranges; Worker mode stays with them only.
  PerformanceArgs seq = Args(128, 4, "3");
  seq.rangeLenMB = 8;
  seq.perWorker = true;
  seq.pattern = 0x12345678;
  plan = std::get<PerformancePlan>(PlanPerformance(CommandOf(PerformanceKind::kSeqWrite), seq, 512, capacity));
  EXPECT_EQ(plan.request.limitMB, 24u);
  EXPECT_TRUE(plan.request.perWorker);
  EXPECT_EQ(plan.request.writeRatio, 100u);
  EXPECT_EQ(plan.pattern, 0x12345678u);
  EXPECT_EQ(std::get<PerformancePlan>(PlanPerformance(CommandOf(PerformanceKind::kRandWrite), seq, 512, capacity))
                .request.perWorker,
            false);

  const struct {
    const char* name;
    engine::Value value;
    std::optional<AccessSize> size;
  } forms[] = {
      {"AccessKB", engine::Value::Number(4), AccessSize{4096, 0}},
      {"AnyName", engine::Value::Number(128), AccessSize{131072, 0}},
      {"AccessSector", engine::Value::Number(8), AccessSize{32768, 0}},
      {"AccessKBRange", engine::Value::Text("4~64"), AccessSize{65536, 61440}},
      {"AccessSectorRange", engine::Value::Text(" 1 ~ 3 "), AccessSize{12288, 8192}},
      {"AccessKBRange", engine::Value::Text("64~4"), std::nullopt},
      {"AccessKBRange", engine::Value::Text("4~4"), std::nullopt},
      {"AccessKBRange", engine::Value::Text("4-64"), std::nullopt},
      {"AccessKB", engine::Value::Number(int64_t{1} << 30), std::nullopt},
  };
  for (const auto& f : forms) {
    std::optional<AccessSize> got = ParseAccessSize(f.name, f.value, 4096);
    ASSERT_EQ(got.has_value(), f.size.has_value()) << f.name << " " << f.value.text;
    if (got) {
      EXPECT_TRUE(got->size == f.size->size && got->span == f.size->span) << f.name << " " << f.value.text;
    }
  }
}

TEST(PerformanceFiles, QosBlockAndCsvLines) {
  std::array<uint64_t, kLatencyBucketCount> counts{};
  counts[0] = 1, counts[3] = 2;
  const std::string block = QosBlock(counts);
  EXPECT_TRUE(block.starts_with(
      "Time             :       Command Count |           Command Ratio |               QoS Ratio \r\n"
      "0-50 us          :                   1 |                  33.33% |                  33.33% \r\n"));
  EXPECT_NE(block.find("200-500 us       :                   2 |                  66.66% |                 100.00% \r\n"),
            std::string::npos);
  EXPECT_TRUE(block.ends_with("> 1 sec          :                   0 |                   0.00% |                 100.00% \r\n"
                              "Total Count      :                   3 \r\n"));
  EXPECT_NE(QosBlock({}).find("0-50 us          :                   0 |                   0.00% |                   0.00%"),
            std::string::npos);

  SamplePoint s;
  s.jobBytes = 3 * kMiB + 1, s.readKBps = 1000, s.writeKBps = 24, s.readIOps = 250, s.writeIOps = 6;
  s.jobMs = 1500, s.cycleMs = 500, s.temperatures[0] = 313;
  EXPECT_EQ(SampleCsvLine(s), "3,1024,256,1500,500,313,0,0,0,0,0,0,0,0\r\n");

  // One header for the file however many jobs append to it.
  ::kestrune::testing::TempDir dir;
  ::kestrune::testing::FakeHost host;
  const std::string path = platform::JoinPath(dir.path(), "R1.CSV");
  for (int job = 0; job < 2; ++job) {
    SampleCsv csv(host, path);
    csv.Add(std::vector<SamplePoint>(2, s));
    EXPECT_TRUE(csv.Close());
  }
  const auto bytes = platform::ReadWholeFile(path);
  ASSERT_TRUE(bytes);
  const std::string text(bytes->begin(), bytes->end());
  std::string expected = kSampleCsvHeader;
  for (int line = 0; line < 4; ++line) expected += SampleCsvLine(s);
  EXPECT_EQ(text, expected);
}

TEST(VideoStream, ClampKeepsFramesAndHeadsInsideTheDisk) {
  StreamArgs a;
  a.access = AccessSize{1 << 20, 0};
  const uint64_t capacity = 200 * kMiB;
  auto plan = std::get<StreamPlan>(PlanVideoStream(a, 512, capacity));  // RangeLenMB 0: all that fits
  EXPECT_EQ(plan.rangeLenMB, 200u - 5 - 1);
  a.frameHead = false;
  a.rangeLenMB = 500;
  EXPECT_EQ(std::get<StreamPlan>(PlanVideoStream(a, 512, capacity)).rangeLenMB, 199u);
  a.lba = 100 * kMiB / 512;  // 99 MiB left for frames
  const auto small = PlanVideoStream(a, 512, capacity);
  ASSERT_TRUE(std::holds_alternative<ParameterFault>(small));
  EXPECT_EQ(std::get<ParameterFault>(small).detail, "Stream Size must > 100 MB");
  a.lba = 0;
  a.framePerDot = 0;
  EXPECT_EQ(std::get<ParameterFault>(PlanVideoStream(a, 512, capacity)).code, code::kBadParameter);
}

TEST(VideoStream, NineStepsWithTheirHeadPairs) {
  StreamSetup setup;
  setup.startOffset = 0x100000;
  setup.streamBytes = 3 * 65536;
  setup.sectorSize = 4096;
  setup.frameHead = true;
  StreamSequence sequence(setup);
  const struct {
    bool frame, write;
    uint64_t offset;
  } expected[] = {
      {true, true, 0x100000 + 0x500000},  // frames start 5 MiB in
      {false, true, 0x100000},            // pair 1 in area 0, sector 0: write, read
      {false, false, 0x100000},
      {false, false, 0x200000 + 4096},    // pair 2 in area 1, sector 1: read, write
      {false, true, 0x200000 + 4096},
      {false, true, 0x300000 + 8192},     // pair 3 in area 2, sector 2: write, read
      {false, false, 0x300000 + 8192},
      {false, false, 0x100000 + 12288},   // pair 4 back in area 0, sector 3: read, write
      {false, true, 0x100000 + 12288},
      {true, true, 0x100000 + 0x500000 + 65536},
  };
  for (size_t i = 0; i < std::size(expected); ++i) {
    const StreamStep step = sequence.Next(65536);
    EXPECT_EQ(step.frame, expected[i].frame) << i;
    EXPECT_EQ(step.write, expected[i].write) << i;
    EXPECT_EQ(step.offset, expected[i].offset) << i;
    EXPECT_EQ(step.length, step.frame ? 65536u : 4096u) << i;
  }
  for (int i = 0; i < 8; ++i) sequence.Next(65536);
  EXPECT_EQ(sequence.Next(65536).offset, 0x100000 + 0x500000 + 2 * 65536);
  for (int i = 0; i < 8; ++i) sequence.Next(65536);
  EXPECT_EQ(sequence.Next(65536).offset, 0x100000 + 0x500000);  // the fourth frame would pass the end
}

TEST(PerformanceStatus, StatusLineWithItsWorkerForm) {
  EXPECT_EQ(ThroughputStatusLine('/', 3725, 2, 41, false, 32), "/ 01:02:05   |   Cycle2, Process:41%");
  EXPECT_EQ(ThroughputStatusLine('-', 59, 1, 100, true, 4), "- 00:00:59   |   Cycle1, Process:100% by 4");
}

// Whole jobs on the sector lab (PHYSICALDRIVE0: RAW NVMe of 64 MiB) on the real clock, as the
// engine's threads all watch it; tests of long silences warp it (where a stall of the test machine
// may only make the silence longer).
class PerformanceLab : public disk::testing::SectorLab {
 protected:
  PerformanceLab() {
    host.WarpClock(1);
    EXPECT_TRUE(RegisterPerformanceCommands(interp).empty());
    Select(disk::testing::kRawNvme);
  }

  // The JSON record of the last job.
  nlohmann::json Record() {
    const auto bytes = platform::ReadWholeFile(FileOf(".json"));
    return bytes ? nlohmann::json::parse(bytes->begin(), bytes->end(), nullptr, false) : nlohmann::json();
  }
  // The file of the last job with this ending (beside its chart line's picture).
  std::string FileOf(const std::string& ending) {
    for (const engine::OutputLine& l : printed)
      if (l.kind == engine::kPicture) return l.text.substr(0, l.text.size() - 4) + ending;
    return {};
  }
  // The first four bytes at offset of the current lab drive, big-endian.
  uint32_t MediaWord(uint64_t offset) {
    auto drive = Drive(disk::testing::kRawNvme);
    std::vector<uint8_t> sector(512);
    auto lock = drive->Lock();
    EXPECT_EQ(drive->ReadMedia(offset, sector), sim::MediaStatus::kOk);
    return static_cast<uint32_t>(sector[0]) << 24 | sector[1] << 16 | sector[2] << 8 | sector[3];
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const engine::OutputLine& l : Body()) t.push_back(l.text);
    return t;
  }
};

TEST_F(PerformanceLab, SequentialWriteLeavesThePatternSummaryAndFiles) {
  Run("Performance_SeqWrite( LBA:2048, RangeLenMB:2, AccessKB:128, QD:4, WritePattern:0x11223344, LimitCycle:2 );");
  EXPECT_EQ(Code(), 0) << Description();
  // Both cycles start at the LBA again (the second one would start at 0 otherwise and never end).
  const auto record = Record();
  ASSERT_TRUE(record.is_object());
  ASSERT_EQ(record["cycles"].size(), 2u);
  EXPECT_EQ(record["cycles"][1]["writeBytes"], 2 * kMiB);
  EXPECT_EQ(record["jobBytes"], 4 * kMiB);
  EXPECT_EQ(record["endState"], "TransferLimit");
  EXPECT_EQ(record["buckets"].size(), kLatencyBucketCount);
  EXPECT_EQ(record["latencyUs"]["write"]["count"], 32);

  EXPECT_EQ(MediaWord(2048 * 512 + kMiB), 0x11223344u);
  EXPECT_EQ(MediaWord(2047 * 512), 0u);  // nothing before the LBA

  const std::vector<std::string> t = Texts();
  ASSERT_GE(t.size(), 13u);
  EXPECT_EQ(t[1], "Last Cycle Data, Cycle2, Process:100%");
  EXPECT_EQ(t[2], "Transfer Size(MB): 2");
  EXPECT_TRUE(t[4].starts_with("Max MBps: ")) << t[4];
  EXPECT_EQ(t[10], "Qos Distributed List");
  EXPECT_TRUE(t[12].starts_with("Write Latency(us) : ")) << t[12];
  const auto png = testing::ReadPng(FileOf(".png"));
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, 800);
  EXPECT_EQ(png->height, 400);
  EXPECT_TRUE(platform::FileExists(FileOf(".CSV")));
  EXPECT_TRUE(platform::FileExists(FileOf("_Qos.TXT")));
}

TEST_F(PerformanceLab, RangesThatAreNoMultipleOfTheRequestStillEnd) {
  // 1 MiB in requests of 192 KiB: a cycle is five of them (the sixth would start past the end), so
  // the limit of 3 MiB (16 requests) ends the job in its fourth cycle.
  Run("Performance_SeqRead( LBA:0, RangeLenMB:1, AccessKB:192, QD:2, LimitCycle:3 );");
  EXPECT_EQ(Code(), 0) << Description();
  auto record = Record();
  ASSERT_EQ(record["cycles"].size(), 4u);
  EXPECT_EQ(record["cycles"][0]["readBytes"], 5 * 192 * 1024);
  EXPECT_EQ(record["cycles"][0]["state"], "CycleDone");
  EXPECT_EQ(record["jobBytes"], 3 * kMiB);
  // No cycle limit, a time limit: cycles shorter than a sample go on until the time is up.
  host.WarpClock(10);
  Run("Performance_SeqRead( LBA:0, RangeLenMB:1, AccessKB:128, QD:2, LimitCycle:0, LimitTimeSec:2 );");
  EXPECT_EQ(Code(), 0) << Description();
  record = Record();
  EXPECT_EQ(record["endState"], "TimeLimit");
  EXPECT_GT(record["cycles"].size(), 1u);
  host.WarpClock(1);
  // Per-worker mode: every slot walks the range in each cycle, and the limit is times the slots.
  Run("Performance_SeqRead( LBA:0, RangeLenMB:1, AccessKB:192, Worker:3, LimitCycle:1 );");
  EXPECT_EQ(Code(), 0) << Description();
  record = Record();
  EXPECT_EQ(record["parameters"]["perWorker"], true);
  ASSERT_EQ(record["cycles"].size(), 2u);
  EXPECT_EQ(record["cycles"][0]["readBytes"], 3 * 5 * 192 * 1024);
  EXPECT_EQ(record["jobBytes"], 3 * kMiB);
}

TEST_F(PerformanceLab, FailuresEndWithTheirCodeAndWhere) {
  Drive(disk::testing::kRawNvme)->AddMediaError(4096);
  Run("Performance_SeqRead( LBA:0, RangeLenMB:4, AccessKB:64, QD:1, LimitCycle:1 );");
  EXPECT_EQ(Code(), code::kReadFailed);
  EXPECT_TRUE(Description().find("CurrentLBA: 0x00000000000010") != std::string::npos) << Description();
  EXPECT_EQ(Record()["endState"], "ReadFailed");
  EXPECT_NE(Record()["failure"].get<std::string>().find("media error"), std::string::npos);
  Drive(disk::testing::kRawNvme)->ClearMediaErrors();

  // A drive that answers nothing for 40 s: -76 after 30 s without an issued request. The workers
  // leave their requests to the reaper.
  host.WarpClock(1000);
  sim::FaultPlan stall;
  stall.stallMs = 40000;
  Drive(disk::testing::kRawNvme)->set_faults(stall);
  Run("Performance_RandRead( LBA:0, RangeLenMB:4, AccessKB:4, QD:4, LimitTxSizeMB:\"CYCLE\" );");
  EXPECT_EQ(Code(), code::kIoResponseTimeout);
  EXPECT_EQ(Record()["endState"], "ResponseTimeout");
  EXPECT_TRUE(Description().find("CurrentLBA: 0x") != std::string::npos) << Description();
  platform::DefaultReaper().WaitIdle();
}

TEST_F(PerformanceLab, CancelOfAStalledJobIsForced) {
  host.WarpClock(1000);
  sim::FaultPlan stall;
  stall.stallMs = 60000;
  Drive(disk::testing::kRawNvme)->set_faults(stall);
  // The operator stops the job once its first status line shows.
  struct StopAtFirstStatus final : engine::Ui {
    engine::Interpreter* interp = nullptr;
    std::optional<std::string> ChooseFile(uint32_t, const engine::FileChoice&) override { return std::nullopt; }
    void ShowStatus(uint32_t view, std::string_view text) override {
      if (!text.empty()) interp->RequestCancel(view);
    }
    void ShowProgress(uint32_t, int64_t, int64_t) override {}
    bool RedirectConsole(const std::string&, bool) override { return false; }
  };
  auto ui = std::make_shared<StopAtFirstStatus>();
  ui->interp = &interp;
  interp.SetUi(ui);
  Run("Performance_SeqRead( LBA:0, RangeLenMB:4, AccessKB:64, QD:2, LimitCycle:1 );");
  EXPECT_EQ(Code(), 0);  // a cancelled job reports no failure of its own
  EXPECT_EQ(Record()["endState"], "ForcedStop");
  platform::DefaultReaper().WaitIdle();
}

// GetTemperatureSec reads the drive's SMART page (the lab's composite is 313 K) into the samples: the
// first one, then at most one a second.
TEST_F(PerformanceLab, TemperaturesGoIntoTheSamples) {
  host.WarpClock(10);
  sim::FaultPlan slow;
  slow.stallMs = 2;
  Drive(disk::testing::kRawNvme)->set_faults(slow);
  Run("Performance_RandRead( LBA:0, RangeLenMB:32, AccessKB:4, QD:1, LimitTxSizeMB:\"CYCLE\", LimitTimeSec:3, "
      "DotPerSec:4, GetTemperatureSec:1 );");
  EXPECT_EQ(Code(), 0) << Description();
  const auto csv = platform::ReadWholeFile(FileOf(".CSV"));
  ASSERT_TRUE(csv);
  std::vector<std::string> lines;
  std::string text(csv->begin(), csv->end());
  for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  ASSERT_GE(lines.size(), 6u);  // the header and about four samples a second
  const auto composite = [](const std::string& line) {
    size_t at = 0;
    for (int field = 0; field < 5; ++field) at = line.find(',', at) + 1;
    return line.substr(at, line.find(',', at) - at);
  };
  EXPECT_EQ(composite(lines[1]), "313");
  size_t read = 0;
  for (size_t i = 1; i < lines.size(); ++i) read += composite(lines[i]) == "313";
  EXPECT_GE(read, 2u);
  EXPECT_LT(read, lines.size() - 1);  // not every sample: at most one a second

  // A SATA drive's come from a fresh read of its SMART attributes, in degrees Celsius (a read test
  // may read the whole system disk).
  Select(disk::testing::kSystemSata);
  Run("Performance_SeqRead( LBA:0, RangeLenMB:1, AccessKB:128, QD:1, LimitCycle:1, LimitTimeSec:0, DotPerSec:1, "
      "GetTemperatureSec:1 );");
  EXPECT_EQ(Code(), 0) << Description();
  const auto sata = platform::ReadWholeFile(FileOf(".CSV"));
  ASSERT_TRUE(sata);
  const std::string sataText(sata->begin(), sata->end());
  EXPECT_NE(sataText.find(base::Format(",%u,%u,%u,0,", sim::kSmartTemperature, sim::kSmartAirflowTemperature,
                                       sim::kSmartAttribute231Raw)),
            std::string::npos)
      << sataText;
}

// The engine on its own, with hooks over the lab's queue: a cycle that takes more samples than it may
// ends the job with TooManyPoints (-87), its figures kept.
TEST_F(PerformanceLab, TooManySamplesEndTheJob) {
  struct LabHooks final : ThroughputHooks {
    platform::DeviceTree& tree;
    platform::Host& host;
    LabHooks(platform::DeviceTree& t, platform::Host& h) : tree(t), host(h) {}
    std::unique_ptr<platform::AsyncQueue> OpenQueue(uint32_t depth, std::string& why) override {
      platform::QueueOptions o;
      o.depth = depth;
      o.access = platform::OpenAccess::kRead;
      return tree.OpenQueue(disk::testing::kRawNvme, o, host, why);
    }
    std::array<uint16_t, 9> ReadTemperatures() override { return {}; }
    void ShowStatus(std::string_view) override {}
    void Notice(std::string_view) override {}
    void CycleEnded(const CycleRecord& c) override { samples = c.samples.size(); }
    size_t samples = 0;
  } hooks(tree(), host);
  sim::FaultPlan slow;
  slow.stallMs = 2;  // 500 requests a second: the range outlasts the samples
  Drive(disk::testing::kRawNvme)->set_faults(slow);
  ThroughputSetup setup;
  setup.request.rangeLenMB = 32;
  setup.request.accessSize = 4096;
  setup.request.queueDepth = 1;
  setup.dotPerSec = 100;
  setup.maxSamples = 5;
  const ThroughputOutcome outcome = RunThroughputJob(setup, hooks, host);
  EXPECT_EQ(outcome.code, code::kTooMuchMemory);
  EXPECT_EQ(outcome.state, JobState::TooManyPoints);
  EXPECT_EQ(hooks.samples, 5u);
  EXPECT_GT(outcome.stats.avgIOps, 0u);
}

TEST_F(PerformanceLab, WritingTestsRefuseDisksTheyMustNotWrite) {
  Select(disk::testing::kLettered);  // a whole disk with volumes
  Run("Performance_SeqWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:1, WritePattern:0, LimitCycle:1 );");
  EXPECT_EQ(Code(), code::kRawOrPartitionOnly);
  Run("Performance_MixReadWrite( WriteRatio:0, RandRatio:50, LBA:0, RangeLenMB:1, AccessKB:4, QD:2, WritePattern:0, LimitTxSizeMB:1 );");
  EXPECT_EQ(Code(), 0) << Description();  // only reads: the whole disk is read
  EXPECT_EQ(Record()["target"]["mode"], "whole disk");
  Run("Performance_MixReadWrite( WriteRatio:10, RandRatio:50, LBA:0, RangeLenMB:1, AccessKB:4, QD:2, WritePattern:0, LimitTxSizeMB:1 );");
  EXPECT_EQ(Code(), code::kRawOrPartitionOnly);
}

}  // namespace
}  // namespace kestrune::workloads
