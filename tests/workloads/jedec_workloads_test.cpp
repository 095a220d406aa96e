// The endurance workloads' arithmetic: the enterprise tables and the parts of its range, the client
// trace's lines, the chunk map's scale and placement (packing, squeezing, wrapping, 4096-byte
// sectors), the report texts, and the enterprise mix as the lab sees it over three full tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "disk/sector_lab.h"
#include "workloads/byte_range.h"
#include "workloads/client_chunk_map.h"
#include "workloads/client_replay.h"
#include "workloads/client_trace.h"
#include "workloads/enterprise_report.h"
#include "workloads/enterprise_workload.h"

namespace kestrune::workloads {
namespace {

std::vector<bool> Used(std::initializer_list<uint32_t> chunks) {
  std::vector<bool> used(kTraceChunks);
  for (uint32_t c : chunks) used[c] = true;
  return used;
}

std::vector<bool> FirstUsed(uint32_t count) {
  std::vector<bool> used(kTraceChunks);
  std::fill_n(used.begin(), count, true);
  return used;
}

TEST(EnterpriseTables, SizesAndPartsHaveTheirSharesInAShuffledOrder) {
  Generator a(1), b(2);
  const std::vector<uint8_t> sizes = MixedSizeTable(a), ranges = EnterpriseRangeTable(a);
  ASSERT_EQ(sizes.size(), kPercentTableSize);
  ASSERT_EQ(ranges.size(), kPercentTableSize);
  for (size_t i = 0; i < kMixedSizeCount; ++i)
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), i), kMixedSizes[i].entries) << kMixedSizes[i].bytes;
  EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 7), 67);  // 4 KiB
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), kRangeA), 50);
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), kRangeB), 30);
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), kRangeC), 20);
  EXPECT_NE(MixedSizeTable(b), sizes);
  EXPECT_FALSE(std::is_sorted(ranges.begin(), ranges.end()));
}

TEST(EnterpriseTables, PartsOfTheRangeKeepTheLargestRequestInside) {
  struct Row {
    uint64_t start, sectors;
    std::optional<std::array<EnterpriseSpan, 3>> want;
  };
  const Row rows[] = {
      // 5 % of 4096 = 204, 15 % = 614, 20 % = 819, 80 % = 3276; 128 sectors kept at each part's end.
      {0, 4096, {{{{0, 76}, {204, 486}, {819, 3148}}}}},
      {100, 4096, {{{{100, 76}, {304, 486}, {919, 3148}}}}},
      {0, 2580, {{{{0, 1}, {129, 259}, {516, 1936}}}}},
      // 5 % of the range no longer than 128 sectors: the subtraction would wrap.
      {0, 2560, std::nullopt},
      {0, 2048, std::nullopt},
      {0, 0, std::nullopt},
  };
  for (const Row& r : rows) {
    const auto got = EnterpriseSpans(r.start, r.sectors);
    ASSERT_EQ(got.has_value(), r.want.has_value()) << r.sectors;
    if (!got) continue;
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ((*got)[i].firstSector, (*r.want)[i].firstSector) << r.sectors << " part " << i;
      EXPECT_EQ((*got)[i].startSectors, (*r.want)[i].startSectors) << r.sectors << " part " << i;
    }
  }
}

TEST(ClientTrace, LinesAndTheirFaults) {
  struct Row {
    const char* line;
    LineKind kind;
    TraceOp op;
    uint64_t lba, sectors;
  };
  const Row rows[] = {
      {"$write 10 8", LineKind::kRequest, TraceOp::kWrite, 10, 8},
      {"\t$trims  0\t40960 extra", LineKind::kRequest, TraceOp::kTrim, 0, 40960},
      {"$write 250101759 1", LineKind::kRequest, TraceOp::kWrite, 250101759, 1},  // the last sector
      {"$flush", LineKind::kRequest, TraceOp::kFlush, 0, 0},
      {"$WRITE 1 1", LineKind::kRequest, TraceOp::kFlush, 0, 0},  // not "$write": a flush
      {"   ", LineKind::kBlank, TraceOp::kFlush, 0, 0},
      {"$write", LineKind::kBad, TraceOp::kWrite, 0, 0},
      {"$trims 5", LineKind::kBad, TraceOp::kTrim, 0, 0},
      {"$write 0x10 8", LineKind::kBad, TraceOp::kWrite, 0, 0},
      {"$write -1 8", LineKind::kBad, TraceOp::kWrite, 0, 0},
      {"$write 18446744073709551616 1", LineKind::kBad, TraceOp::kWrite, 0, 0},
      {"$write 1 18446744073709551615", LineKind::kBad, TraceOp::kWrite, 0, 0},
      {"$write 0 0", LineKind::kBad, TraceOp::kWrite, 0, 0},
      {"$trims 250101759 2", LineKind::kBad, TraceOp::kTrim, 0, 0},  // past the 128 GB chunk map
      {"$write 250101760 1", LineKind::kBad, TraceOp::kWrite, 0, 0},
  };
  for (const Row& r : rows) {
    const ParsedLine p = ParseTraceLine(r.line);
    EXPECT_EQ(p.kind, r.kind) << r.line;
    if (p.kind == LineKind::kBad) {
      EXPECT_STRNE(p.fault, "") << r.line;
    }
    if (p.kind != LineKind::kRequest) continue;
    EXPECT_EQ(p.request.op, r.op) << r.line;
    EXPECT_EQ(p.request.lba, r.lba) << r.line;
    EXPECT_EQ(p.request.sectors, r.sectors) << r.line;
  }

  // The analysis stops at the first bad line and names it; blank lines are no requests.
  const auto bad = AnalyzeTrace("$write 0 8\r\n\r\n$trims 1 x\r\n$write 1 1\r\n", {});
  ASSERT_TRUE(std::holds_alternative<TraceFault>(bad));
  EXPECT_EQ(TraceFaultText("t.txt", std::get<TraceFault>(bad)),
            "t.txt line 3: \"$trims 1 x\" (LBA or sector count not a decimal number of 64 bits)");
  const auto good = AnalyzeTrace("$write 0 8\n$trims 40959 2\nx\n$write 245760000 16", {});
  ASSERT_TRUE(std::holds_alternative<TraceAnalysis>(good));
  const TraceAnalysis& a = std::get<TraceAnalysis>(good);
  EXPECT_EQ(a.requests, 4u);
  EXPECT_EQ(a.usedChunks, Used({0, 1, 6000}));  // the trim crosses into chunk 1
  const std::vector<std::string> want = {
      "Total Commands     : 4",
      "Trim Commands(%)   : 1            | 25.00",
      "Write Commands(%)  : 2            | 50.00",
      "Flush Commands(%)  : 1            | 25.00",
      "Trim Size (GB)     : 0.00",
      "Write Size (GB)    : 0.00",
      "Max Write Sectors  : 16",
      "Max Trim Sectors   : 2",
  };
  std::vector<std::string> got;
  for (const ColouredLine& l : TraceStatsLines(a.stats)) got.push_back(l.text);
  EXPECT_EQ(got, want);
  TraceStats big;
  big.writes = 3, big.writeSectors = 3 * 2097152 + 1048576;  // 3.5 GiB
  EXPECT_EQ(TraceStatsLines(big)[5].text, "Write Size (GB)    : 3.50");
  EXPECT_EQ(TraceStatsLines(big)[2].text, "Write Commands(%)  : 3            | 100.00");
}

TEST(ClientChunkMap, ScaleOfUsedAndUnusedChunks) {
  struct Row {
    uint32_t used;  // the first chunks of the trace
    uint64_t rangeMiB;
    uint64_t targetChunks, scale;
  };
  const Row rows[] = {
      {4, 16384, 820, 13},       // (820 - 4) x 100 / 6102
      {4, 64, 4, 0},             // used chunks fill the range: no cold chunks
      {10, 64, 4, 0},            // more used than the range holds
      {0, 64, 4, 0},             // 400 / 6106
      {10, 122100, 6106, 100},   // every unused chunk keeps its size
      {6106, 200000, 10001, 0},  // no unused chunk: no division by 0
  };
  for (const Row& r : rows) {
    const ClientScale s = ScaleFor(FirstUsed(r.used), r.rangeMiB);
    EXPECT_EQ(s.targetChunks, r.targetChunks) << r.used << " " << r.rangeMiB;
    EXPECT_EQ(s.usedChunks, r.used);
    EXPECT_EQ(s.unusedChunks, kTraceChunks - r.used);
    EXPECT_EQ(s.scale, r.scale) << r.used << " " << r.rangeMiB;
  }
}

TEST(ClientChunkMap, RequestsLandPackedWidenedAndInsideTheRange) {
  constexpr uint64_t kChunkBytes = kTraceChunkSectors * 512;
  const uint64_t range64 = 64 * kMiB;
  struct Row {
    const char* what;
    std::vector<bool> used;
    uint64_t start, rangeBytes;
    uint32_t sectorSize;
    TraceRequest request;
    uint64_t offset, length;
  };
  const Row rows[] = {
      {"used chunks packed, unused squeezed by 0.13",
       Used({0, 1, 2, 6000}),
       0,
       16384 * kMiB,
       512,
       {TraceOp::kWrite, 6000 * kTraceChunkSectors + 5, 8},
       (782 * kTraceChunkSectors + 5) * 512,
       4096},
      {"the command's LBA in the disk's own sectors",
       Used({0}),
       0x100 * 4096,
       range64,
       4096,
       {TraceOp::kWrite, 0, 8},
       0x100 * 4096,
       4096},
      {"one 512-byte sector widened to a 4096-byte one",
       Used({0}),
       0,
       range64,
       4096,
       {TraceOp::kWrite, 1, 1},
       0,
       4096},
      {"a request across a 4096-byte boundary widened both ways",
       Used({0}),
       0,
       range64,
       4096,
       {TraceOp::kTrim, 7, 2},
       0,
       8192},
      {"more used chunks than the range holds: chunk 5 of 10 on 4 goes to 1",
       FirstUsed(10),
       0,
       range64,
       512,
       {TraceOp::kWrite, 5 * kTraceChunkSectors, 8},
       kChunkBytes,
       4096},
      {"the fourth target chunk is past 64 MiB: it starts again at the range's start",
       FirstUsed(4),
       kMiB,
       range64,
       512,
       {TraceOp::kWrite, 3 * kTraceChunkSectors + 9000, 8},
       kMiB + (3 * kChunkBytes + 9000 * 512) % range64,
       4096},
      {"a request over the range's end ends at it",
       FirstUsed(4),
       0,
       range64,
       512,
       {TraceOp::kWrite, 3 * kTraceChunkSectors + 8188, 8},
       range64 - 4096,
       4096},
      {"a trim larger than the range is the range",
       Used({0, 1, 2, 3, 4}),
       0,
       range64,
       512,
       {TraceOp::kTrim, 0, 5 * kTraceChunkSectors},
       0,
       range64},
  };
  for (const Row& r : rows) {
    const ClientChunkMap map(r.used, r.start, r.rangeBytes, r.sectorSize);
    const TargetExtent e = map.Map(r.request);
    EXPECT_EQ(e.offset, r.offset) << r.what;
    EXPECT_EQ(e.length, r.length) << r.what;
    EXPECT_GE(e.offset, r.start) << r.what;
    EXPECT_LE(e.offset + e.length, r.start + r.rangeBytes) << r.what;
    EXPECT_EQ(e.offset % r.sectorSize, 0u) << r.what;
  }
}

TEST(ClientReplay, WriteDataStaysInsideTheTraceText) {
  struct Row {
    uint32_t draw;
    uint64_t textBytes, offset;
  };
  const Row rows[] = {{32767, 100, 0},    {32767, 5000, 0},     {20000, 1 << 20, 16384},
                      {4095, 1 << 20, 0}, {12288, 10000, 4096}, {32767, 40000, 28672}};
  for (const Row& r : rows)
    EXPECT_EQ(TraceDataOffset(r.draw, r.textBytes), r.offset) << r.draw << " " << r.textBytes;
}

TEST(EnterpriseReport, TableLayout) {
  EnterpriseCounts c;
  c.cells[kRangeA][7] = 5;   // 4 KiB
  c.cells[kRangeC][11] = 3;  // 64 KiB
  c.writes = 6, c.reads = 2;
  c.bytes = 3 * (uint64_t{1} << 29);  // 1.5 GiB
  const std::vector<ColouredLine> lines = EnterpriseReportLines(c);
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(
      lines[0].text,
      "               [RangeA LBA5%] |      [RangeB LBA15%] |      [RangeC LBA80%] |              [Total]");
  EXPECT_EQ(
      lines[8].text,
      "  4.0 :            5 (62.5%) |            0 ( 0.0%) |            0 ( 0.0%) |            5 (62.5%) ");
  EXPECT_EQ(
      lines[12].text,
      " 64.0 :            0 ( 0.0%) |            0 ( 0.0%) |            3 (37.5%) |            3 (37.5%) ");
  EXPECT_EQ(
      lines[13].text,
      "[Total]:            5 (62.5%) |            0 ( 0.0%) |            3 (37.5%) |            8 (100.0%) ");
  EXPECT_EQ(lines[14].text, "Write Commands: 6");
  EXPECT_EQ(lines[15].text, "Read Commands : 2");
  EXPECT_EQ(lines[16].text, "TxSize(GB)    : 1.5");
  EXPECT_EQ(lines[0].colour, kEnterpriseHeaderColour);
  EXPECT_EQ(lines[1].colour, kEnterpriseRowColour);
  EXPECT_EQ(EnterpriseStatusLine('/', 12, uint64_t{1} << 30), "/ Time: 12 sec | TxSize: 1.0 GB");
  EXPECT_EQ(ReplayStatusLine('-', 3, 3 * (uint64_t{1} << 28), 42),
            "- Time: 3 sec | TxSize: 0.75 GB | Progress: 42%");
}

// The enterprise mix on the lab: a transfer limit of exactly three tables' bytes ends the job after
// 300 requests, which hold each size and each part exactly three times its share.
class EnterpriseLab : public disk::testing::SectorLab, public EnterpriseHooks {
 protected:
  std::unique_ptr<platform::AsyncQueue> OpenQueue(uint32_t depth, std::string& why) override {
    platform::QueueOptions o;
    o.depth = depth;
    return tree().OpenQueue(disk::testing::kRawNvme, o, host, why);
  }
  void ShowStatus(std::string_view) override {}
  void Touched(uint64_t offset, uint64_t bytes) override { touched.push_back({offset, bytes}); }
  std::vector<std::pair<uint64_t, uint64_t>> touched;
};

TEST_F(EnterpriseLab, ThreeTablesOfRequests) {
  uint64_t tableBytes = 0;
  for (const MixedSize& s : kMixedSizes) tableBytes += uint64_t{s.bytes} * s.entries;
  EnterpriseSetup setup;
  setup.rangeSectors = 16 * kMiB / 512;
  setup.writeRatio = 100;
  setup.limitBytes = 3 * tableBytes;
  const EnterpriseOutcome out = RunEnterprise(setup, *this, host);
  ASSERT_EQ(out.code, base::code::kSuccessTrue);
  EXPECT_EQ(out.counts.writes, 300u);
  EXPECT_EQ(out.counts.reads, 0u);
  EXPECT_EQ(out.counts.bytes, 3 * tableBytes);
  const uint64_t a = setup.rangeSectors * 5 / 100, b = setup.rangeSectors * 15 / 100;
  uint64_t perRange[3] = {};
  for (size_t size = 0; size < kMixedSizeCount; ++size) {
    uint64_t row = 0;
    for (size_t range = 0; range < 3; ++range)
      row += out.counts.cells[range][size], perRange[range] += out.counts.cells[range][size];
    EXPECT_EQ(row, 3u * kMixedSizes[size].entries) << kMixedSizes[size].bytes;
  }
  EXPECT_EQ(perRange[kRangeA], 150u);
  EXPECT_EQ(perRange[kRangeB], 90u);
  EXPECT_EQ(perRange[kRangeC], 60u);
  // Every request inside its part: counted by where it landed, the parts hold the same shares.
  uint64_t landed[3] = {};
  ASSERT_EQ(touched.size(), 300u);
  for (const auto& [offset, bytes] : touched) {
    const uint64_t sector = offset / 512, last = (offset + bytes - 1) / 512;
    const int part = sector < a ? 0 : sector < a + b ? 1 : 2;
    ++landed[part];
    EXPECT_LT(last, part == 0 ? a : part == 1 ? a + b : setup.rangeSectors);
  }
  EXPECT_EQ(landed[0], 150u);
  EXPECT_EQ(landed[1], 90u);
  EXPECT_EQ(landed[2], 60u);
}

}  // namespace
}  // namespace kestrune::workloads
