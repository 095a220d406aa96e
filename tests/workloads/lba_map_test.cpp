// The LBA map: the file's bytes and their checks, generation from ratios, the replay and the judgement
// of each sector; then the commands on the sector lab: make -> write -> compare clean, and with a bit
// flipped in the stored data found at its LBA.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/nvme_operations.h"
#include "disk/sector_lab.h"
#include "platform/files.h"
#include "workloads/compare_commands.h"
#include "workloads/lba_map_commands.h"
#include "workloads/lba_map_file.h"
#include "workloads/map_progress_file.h"
#include "workloads/pattern_commands.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using disk::testing::kMiB;

LbaMap SmallMap() {
  LbaMap m;
  m.header = {0x1000, 0x4000, 0x1000, 0};  // four 4 KiB blocks from byte 0x1000
  m.entries = {{0x1000, MapKind::kWrite}, {0x3000, MapKind::kTrim}, {0, MapKind::kFlush}, {0x4000, MapKind::kFuaWrite}};
  return m;
}

TEST(LbaMapFile, BytesAreTheLayout) {
  const std::vector<uint8_t> bytes = EncodeMap(SmallMap());
  const std::vector<uint8_t> want = {
      0x00, 0x10, 0, 0, 0, 0, 0, 0,  0x00, 0x40, 0, 0, 0, 0, 0, 0,  0x00, 0x10, 0, 0,  4, 0, 0, 0,
      0x00, 0x10, 0, 0, 0, 0, 0, 0, 0,   // write
      0x00, 0x30, 0, 0, 0, 0, 0, 0, 1,   // trim
      0, 0, 0, 0, 0, 0, 0, 0, 3,         // flush
      0x00, 0x40, 0, 0, 0, 0, 0, 0, 2,   // FUA write
  };
  EXPECT_EQ(bytes, want);
  std::string problem;
  const std::optional<LbaMap> back = DecodeMap(bytes, 512, 64 * kMiB, problem);
  ASSERT_TRUE(back) << problem;
  EXPECT_EQ(back->entries, SmallMap().entries);
  EXPECT_EQ(back->header.count, 4u);
  EXPECT_EQ(back->Blocks(), 4u);
}

TEST(LbaMapFile, EveryFaultIsNamed) {
  const struct {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
    uint32_t sectorSize;
    const char* problem;  // "" = accepted
  } cases[] = {
      {"sound", [](std::vector<uint8_t>&) {}, 512, ""},
      {"sound on 4Kn", [](std::vector<uint8_t>&) {}, 4096, ""},
      {"short header", [](std::vector<uint8_t>& b) { b.resize(20); }, 512, "shorter than the header"},
      {"count over the size", [](std::vector<uint8_t>& b) { base::PutLe32(b.data() + 20, 5); }, 512, "5 entries need 69"},
      {"trailing byte", [](std::vector<uint8_t>& b) { b.push_back(0); }, 512, "61 bytes"},
      {"access 0", [](std::vector<uint8_t>& b) { base::PutLe32(b.data() + 16, 0); }, 512, "access size 0"},
      {"access off the sector", [](std::vector<uint8_t>& b) { base::PutLe32(b.data() + 16, 0x800); }, 4096,
       "access size 2048"},
      {"start off the sector", [](std::vector<uint8_t>& b) { base::PutLe64(b.data(), 0x1200); }, 4096, "start 0x1200"},
      {"range under a block", [](std::vector<uint8_t>& b) { base::PutLe64(b.data() + 8, 0xFFF); }, 512, "range of 4095"},
      {"too many blocks", [](std::vector<uint8_t>& b) { base::PutLe64(b.data() + 8, 0x4000001ull * 0x1000); }, 512,
       "range of"},
      {"past the disk", [](std::vector<uint8_t>& b) { base::PutLe64(b.data(), 64 * kMiB - 0x2000); }, 512,
       "past the end"},
      {"kind 4", [](std::vector<uint8_t>& b) { b[24 + 9 * 2 + 8] = 4; }, 512, "entry 2: kind 4"},
      {"offset off a block", [](std::vector<uint8_t>& b) { b[24 + 9 + 0] = 0x08; }, 512,
       "entry 1: offset 0x3008 is not a block"},
      {"offset past the range", [](std::vector<uint8_t>& b) { b[24 + 9 * 3 + 1] = 0x50; }, 512,
       "entry 3: offset 0x5000"},
      {"offset before the range", [](std::vector<uint8_t>& b) { b[24 + 1] = 0; }, 512, "entry 0: offset 0x0 "},
      {"flush offset is free", [](std::vector<uint8_t>& b) { b[24 + 9 * 2 + 3] = 0x77; }, 512, ""},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = EncodeMap(SmallMap());
    c.spoil(bytes);
    std::string problem;
    const bool ok = DecodeMap(bytes, c.sectorSize, 64 * kMiB, problem).has_value();
    EXPECT_EQ(ok, *c.problem == 0) << c.what << ": " << problem;
    if (*c.problem) {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << c.what << ": " << problem;
    }
  }
}

std::vector<MapEntry> Generate(const MapRecipe& r, size_t* batches = nullptr) {
  std::vector<MapEntry> out;
  uint32_t seed = 1;
  GenerateMap(r, [&] { return seed++; }, [&](std::span<const MapEntry> b) {
    if (batches) ++*batches;
    EXPECT_LE(b.size(), kMapBatchEntries);
    out.insert(out.end(), b.begin(), b.end());
    return true;
  });
  return out;
}

TEST(LbaMapFile, GenerationFollowsTheRatios) {
  // No random writes and as many writes as blocks: every block once, in order.
  MapRecipe seq{0, 0x100000, 64 * 0x1000, 0x1000, 64};
  const std::vector<MapEntry> once = Generate(seq);
  ASSERT_EQ(once.size(), 64u);
  for (size_t i = 0; i < once.size(); ++i) EXPECT_EQ(once[i], (MapEntry{0x100000 + i * 0x1000, MapKind::kWrite}));

  // 30,000 writes with 30 % trims and 20 % flushes (of all operations): half the entries are writes,
  // three batches, every offset a block of the range.
  MapRecipe mixed{100, 0, 1000 * 512, 512, 30000, 3000, 1000, 2000};
  size_t batches = 0;
  const std::vector<MapEntry> all = Generate(mixed, &batches);
  EXPECT_EQ(all.size(), 60000u);
  EXPECT_EQ(batches, 4u);
  const auto count = [&](MapKind k) { return std::count_if(all.begin(), all.end(), [k](const MapEntry& e) { return e.kind == k; }); };
  EXPECT_EQ(count(MapKind::kTrim), 18000);
  EXPECT_EQ(count(MapKind::kFlush), 12000);
  EXPECT_EQ(count(MapKind::kFuaWrite), 6000);
  for (const MapEntry& e : all)
    if (e.kind != MapKind::kFlush) {
      EXPECT_TRUE(e.offset % 512 == 0 && e.offset < 1000 * 512);
    }
}

TEST(LbaMapFile, WriteCountsDoNotWrapAt16Bits) {
  LbaMap m;
  m.header = {0, 0x1000, 0x1000, 0};
  m.entries.assign(65537, {0, MapKind::kWrite});
  const MapReplay replay(m, m.entries.size(), {});
  EXPECT_EQ(replay.Block(0).writes, 65537u);
  EXPECT_EQ(replay.Block(0).lastOrder, 65537u);
  ASSERT_TRUE(replay.FindWrite(0, 65537));
  EXPECT_EQ(replay.FindWrite(0, 65537)->order, 65537u);
}

// Judgement of one block of 4 sectors (block 0, at LBA 0x10): written twice (orders 1 and 3, block 1 in
// between), or written once and trimmed.
TEST(LbaMapFile, EachSectorIsJudgedOnItsOwnMarks) {
  const BlockJudge judge{512, 0x55AA33CC, 0};
  LbaMap twice;
  twice.header = {0, 0x1000, 0x800, 0};
  twice.entries = {{0, MapKind::kWrite}, {0x800, MapKind::kWrite}, {0, MapKind::kWrite}};
  LbaMap trimmed = twice;
  trimmed.entries = {{0, MapKind::kWrite}, {0, MapKind::kTrim}};
  using V = SectorVerdict;
  auto block = [&](uint32_t order, uint32_t count) {
    std::vector<uint8_t> b(0x800);
    BuildBlock(judge, 0x10, order, count, b);
    return b;
  };
  const std::vector<uint8_t> latest = block(3, 2), older = block(1, 1), base = block(0, 0);
  auto mix = [](std::vector<uint8_t> b, size_t sector, const std::vector<uint8_t>& from) {
    std::copy_n(from.begin() + sector * 512, 512, b.begin() + sector * 512);
    return b;
  };
  std::vector<uint8_t> foreign = latest;
  foreign[7] = 9;  // sector 0 names LBA 9
  std::vector<uint8_t> flipped = latest;
  flipped[512 * 2 + 256] ^= 1;
  const struct {
    const char* what;
    const LbaMap& map;
    std::vector<uint64_t> uncertain;
    std::vector<uint8_t> read;
    std::vector<V> want;
  } cases[] = {
      {"as expected", twice, {}, latest, {V::kCorrect, V::kCorrect, V::kCorrect, V::kCorrect}},
      {"torn, old first sector", twice, {}, mix(latest, 0, older), {V::kOldData, V::kCorrect, V::kCorrect, V::kCorrect}},
      {"torn, base in the middle", twice, {}, mix(latest, 2, base), {V::kCorrect, V::kCorrect, V::kOldData, V::kCorrect}},
      {"older write while the latest was in flight", twice, {2}, older, {V::kCorrect, V::kCorrect, V::kCorrect, V::kCorrect}},
      {"older write once the latest was done", twice, {}, older, {V::kOldData, V::kOldData, V::kOldData, V::kOldData}},
      {"base while every write was in flight", twice, {0, 2}, base, {V::kCorrect, V::kCorrect, V::kCorrect, V::kCorrect}},
      {"base after a certain write", twice, {2}, base, {V::kOldData, V::kOldData, V::kOldData, V::kOldData}},
      {"zeros after a write", twice, {}, std::vector<uint8_t>(0x800, 0), {V::kAllZero, V::kAllZero, V::kAllZero, V::kAllZero}},
      {"foreign first sector", twice, {}, foreign, {V::kMiscompare, V::kCorrect, V::kCorrect, V::kCorrect}},
      {"a flipped bit", twice, {}, flipped, {V::kCorrect, V::kCorrect, V::kMiscompare, V::kCorrect}},
      {"trim reads zeros", trimmed, {}, std::vector<uint8_t>(0x800, 0), {V::kCorrect, V::kCorrect, V::kCorrect, V::kCorrect}},
      {"trim reads ones", trimmed, {}, std::vector<uint8_t>(0x800, 0xFF), {V::kCorrect, V::kCorrect, V::kCorrect, V::kCorrect}},
      {"trim kept the write", trimmed, {}, block(1, 1), {V::kOldData, V::kOldData, V::kOldData, V::kOldData}},
  };
  for (const auto& c : cases) {
    const MapReplay replay(c.map, c.map.entries.size(), c.uncertain);
    std::vector<uint8_t> expected(0x800, 0);
    const BlockState& s = replay.Block(0);
    if (!s.trimmedLast) BuildBlock(judge, 0x10, s.lastOrder, s.writes, expected);
    EXPECT_EQ(JudgeBlock(judge, replay, 0, 0x10, expected, c.read), c.want) << c.what;
  }
}

// Judgement of block 0 (4 sectors at LBA 0x10) by what was durable: entries before `durable` are
// (a FUA write, a flush or a cache that is off made them so), later ones may be undone by a power
// cut, and from `uncertainFrom` on they may not have happened at all (a host crash). Old data the
// durable entries had replaced is a fault; old data only later entries replaced is allowed.
TEST(LbaMapFile, OldDataIsJudgedByWhatWasDurable) {
  using V = SectorVerdict;
  using K = MapKind;
  auto mapOf = [](std::vector<MapEntry> entries) {
    LbaMap m;
    m.header = {0, 0x1000, 0x800, 0};
    m.entries = std::move(entries);
    return m;
  };
  const LbaMap flushedOnce = mapOf({{0, K::kWrite}, {0, K::kFlush}, {0, K::kWrite}});
  const LbaMap trimmed = mapOf({{0, K::kWrite}, {0, K::kTrim}});
  const LbaMap trimThenWrite = mapOf({{0, K::kWrite}, {0, K::kFlush}, {0, K::kTrim}, {0, K::kWrite}});
  const BlockJudge judge{512, 0x55AA33CC, 0};
  auto block = [&](uint32_t order, uint32_t count) {
    std::vector<uint8_t> b(0x800);
    BuildBlock(judge, 0x10, order, count, b);
    return b;
  };
  const std::vector<uint8_t> latest = block(2, 2), first = block(1, 1), base = block(0, 0);
  const std::vector<uint8_t> zeros(0x800, 0), ones(0x800, 0xFF);
  std::vector<uint8_t> torn = latest;
  std::copy_n(first.begin() + 512, 1024, torn.begin() + 512);  // sectors 1 and 2 of the first write
  constexpr uint64_t kAll = UINT64_MAX;
  const struct {
    const char* what;
    const LbaMap& map;
    uint64_t durable, uncertainFrom;
    TrimPromise promise;
    std::vector<uint8_t> read;
    V want;  // every sector's, unless wantTorn
  } cases[] = {
      {"durable and as written", flushedOnce, kAll, kAll, TrimPromise::kZerosOrOnes, latest, V::kCorrect},
      {"durable write read old: a fault", flushedOnce, kAll, kAll, TrimPromise::kZerosOrOnes, first, V::kOldData},
      {"the newer write not yet durable", flushedOnce, 2, kAll, TrimPromise::kZerosOrOnes, first, V::kOldNotDurable},
      {"older than the flushed write", flushedOnce, 2, kAll, TrimPromise::kZerosOrOnes, base, V::kOldData},
      {"nothing durable yet", flushedOnce, 0, kAll, TrimPromise::kZerosOrOnes, base, V::kOldNotDurable},
      {"tail of a host crash", flushedOnce, 2, 2, TrimPromise::kZerosOrOnes, first, V::kCorrect},
      {"tail of a host crash, older", flushedOnce, 2, 2, TrimPromise::kZerosOrOnes, base, V::kOldData},
      {"trim, zeros promised", trimmed, kAll, kAll, TrimPromise::kZeros, zeros, V::kCorrect},
      {"trim, zeros promised, ones read", trimmed, kAll, kAll, TrimPromise::kZeros, ones, V::kMiscompare},
      {"trim, ones promised", trimmed, kAll, kAll, TrimPromise::kOnes, ones, V::kCorrect},
      {"trim, ones promised, zeros read", trimmed, kAll, kAll, TrimPromise::kOnes, zeros, V::kAllZero},
      {"trim, no promise, ones read", trimmed, kAll, kAll, TrimPromise::kZerosOrOnes, ones, V::kCorrect},
      {"durable trim kept the write", trimmed, kAll, kAll, TrimPromise::kZeros, first, V::kOldData},
      {"trim not yet durable kept the write", trimmed, 1, kAll, TrimPromise::kZeros, first, V::kOldNotDurable},
      {"write after a trim lost, reads trimmed", trimThenWrite, 2, kAll, TrimPromise::kZeros, zeros, V::kOldNotDurable},
      {"write after a durable trim, reads zeros", trimThenWrite, kAll, kAll, TrimPromise::kZeros, zeros, V::kAllZero},
      {"trim and write lost, the flushed write", trimThenWrite, 2, kAll, TrimPromise::kZeros, first, V::kOldNotDurable},
  };
  for (const auto& c : cases) {
    const MapReplay replay(c.map, c.map.entries.size(), {}, {c.durable, c.uncertainFrom});
    BlockJudge j = judge;
    j.trimReads = c.promise;
    const BlockState& s = replay.Block(0);
    std::vector<uint8_t> expected(0x800, c.promise == TrimPromise::kOnes ? 0xFF : 0);
    if (!s.trimmedLast) BuildBlock(j, 0x10, s.lastOrder, s.writes, expected);
    EXPECT_EQ(JudgeBlock(j, replay, 0, 0x10, expected, c.read), std::vector<V>(4, c.want)) << c.what;
  }
  // At LBA 0 with base pattern 0 the base block's first sector is all zeros, as a trim reads: the
  // durable trim, whose later write was lost, explains it.
  const MapReplay atZero(trimThenWrite, 4, {}, {3, kAll});
  BlockJudge zerosPromised = judge;
  zerosPromised.trimReads = TrimPromise::kZeros;
  std::vector<uint8_t> written(0x800);
  BuildBlock(zerosPromised, 0, 2, 2, written);
  EXPECT_EQ(JudgeBlock(zerosPromised, atZero, 0, 0, written, zeros), std::vector<V>(4, V::kOldNotDurable));
  // A torn write: each sector on its own marks.
  const MapReplay replay(flushedOnce, 3, {}, {2, kAll});
  EXPECT_EQ(JudgeBlock(judge, replay, 0, 0x10, latest, torn),
            (std::vector<V>{V::kCorrect, V::kOldNotDurable, V::kOldNotDurable, V::kCorrect}));
}

class LbaMapLab : public disk::testing::SectorLab {
 protected:
  LbaMapLab() {
    EXPECT_TRUE(RegisterLbaMapCommands(interp).empty());
    Select(disk::testing::kRawNvme);
  }
  ~LbaMapLab() override {
    for (const std::string& folder : made) std::filesystem::remove_all(platform::FsPath(folder));
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const engine::OutputLine& l : Body()) t.push_back(l.text);
    return t;
  }
  bool Printed(const std::string& text) {
    for (const engine::OutputLine& l : Body())
      if (l.text == text) return true;
    return false;
  }
  // Makes a map and returns its path.
  std::string Make(const std::string& args) {
    Run("Compare_MapMake( " + args + " );");
    EXPECT_EQ(Code(), 0) << args << " " << Description();
    const std::string path = DumpPath();
    if (!path.empty()) made.push_back(platform::FolderOf(path));
    return path;
  }
  std::vector<std::string> made;
};

TEST_F(LbaMapLab, MakeWriteCompareIsClean) {
  const std::string map = Make("RandRatio:50, LBA:0x800, RangeLenMB:1, AccessKB:8, LimitTxSizeMB:2, TrimRatio:1000, "
                               "FuaRatio:1000, FlushRatio:500");
  ASSERT_FALSE(map.empty());
  EXPECT_EQ(platform::FileNameOf(map), "LBAMap.map");
  EXPECT_NE(platform::FileNameOf(platform::FolderOf(map)).find("[LBAMap_"), std::string::npos);
  std::string problem;
  const auto bytes = platform::ReadWholeFile(map);
  ASSERT_TRUE(bytes);
  const std::optional<LbaMap> decoded = DecodeMap(*bytes, 512, 64 * kMiB, problem);
  ASSERT_TRUE(decoded) << problem;
  EXPECT_EQ(decoded->header.start, 0x800u * 512);
  EXPECT_EQ(decoded->header.accessSize, 8192u);
  EXPECT_GT(decoded->entries.size(), 256u);  // 256 writes and the trims and flushes among them

  Run("Compare_MapWrite( LBAMap:\"" + map + "\", QD:8, WritePattern:0x5AA5A55A );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Printed("Write Complete Counts   : 256"));
  EXPECT_TRUE(Printed("Write Uncomplete Counts : 0"));
  EXPECT_TRUE(Printed("LBA Start     : 0x00000800"));
  EXPECT_TRUE(MapProgressOf(interp, 0).issued == decoded->entries.size());

  Run("Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:0, WritePattern:0x5AA5A55A );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Printed("Total Error Sectors              : 0"));
  EXPECT_FALSE(Printed("Detail Data for each error commands."));
}

// An append at another place of the disk: one header over both ranges, every old entry still a block
// of it, and the whole map writes and compares clean. An append off the map's grid of blocks is refused.
TEST_F(LbaMapLab, AppendKeepsEveryEntryInsideTheHeader) {
  const std::string map = Make("RandRatio:100, LBA:0x1000, RangeLenMB:1, AccessKB:8, LimitTxSizeMB:1, TrimRatio:500");
  ASSERT_FALSE(map.empty());
  const size_t before = (platform::ReadWholeFile(map)->size() - kMapHeaderBytes) / kMapEntryBytes;
  Run("Compare_MapAppend( LBAMap:\"" + map + "\", RandRatio:0, LBA:0, RangeLenMB:1, LimitTxSizeMB:1, FlushRatio:100 );");
  ASSERT_EQ(Code(), 0) << Description();
  std::string problem;
  const std::optional<LbaMap> both = DecodeMap(*platform::ReadWholeFile(map), 512, 64 * kMiB, problem);
  ASSERT_TRUE(both) << problem;
  EXPECT_EQ(both->header.start, 0u);
  EXPECT_EQ(both->header.rangeBytes, 0x1000u * 512 + kMiB);
  EXPECT_EQ(both->header.accessSize, 8192u);
  EXPECT_GT(both->entries.size(), before + 128);
  EXPECT_EQ(both->entries[before], (MapEntry{0, MapKind::kWrite}));
  // The gap between the two ranges holds the base pattern, as the compare expects of blocks never written.
  EXPECT_TRUE(RegisterPatternCommands(interp).empty());
  Run("FullByPattern( LBA:0x800, RangeSector:2048, Pattern:0, MarkSectorHeader:TRUE );");
  Run("Compare_MapWrite( LBAMap:\"" + map + "\", QD:16, WritePattern:0x3C3C3C3C );");
  ASSERT_EQ(Code(), 0) << Description();
  Run("Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:0, WritePattern:0x3C3C3C3C );");
  EXPECT_TRUE(Printed("Total Error Sectors              : 0")) << ::testing::PrintToString(Texts());
  Run("Compare_MapAppend( LBAMap:\"" + map + "\", RandRatio:0, LBA:0x3001, RangeLenMB:1, LimitTxSizeMB:1 );");
  EXPECT_EQ(Code(), code::kBadParameter);
}

TEST_F(LbaMapLab, AStoredBitFlipIsFoundAtItsLba) {
  const std::string map = Make("RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1");
  ASSERT_FALSE(map.empty());
  sim::FaultPlan plan = Drive(disk::testing::kRawNvme)->faults();
  plan.bitFlipWrites.insert(0x123);
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  Run("Compare_MapWrite( LBAMap:\"" + map + "\", QD:4, WritePattern:0x11223344 );");
  ASSERT_EQ(Code(), 0) << Description();
  Run("Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:0, WritePattern:0x11223344 );");
  EXPECT_TRUE(Printed("Miscompare - Miscompare Sectors  : 1"));
  EXPECT_TRUE(Printed("Miscompare - All 0x00 Sectors    : 0"));
  EXPECT_TRUE(Printed("Total Error Sectors              : 1"));
  EXPECT_TRUE(Printed("Detail Data for each error commands."));
  const auto csv = platform::ReadWholeFile(DumpPath());
  ASSERT_TRUE(csv);
  const std::string text(csv->begin(), csv->end());
  EXPECT_EQ(text.rfind("Access LBA (4KB)", 0), 0u) << text;
  // The block of LBA 0x120, its sector 0x123, and the first bytes of that sector (its LBA mark).
  EXPECT_NE(text.find("0x000000000120"), std::string::npos) << text;
  EXPECT_NE(text.find("0x000000000123,Expected "), std::string::npos) << text;
  EXPECT_NE(text.find("0000000000000123"), std::string::npos) << text;
  EXPECT_NE(text.find("Read 2"), std::string::npos) << text;

  // The recovery puts the base pattern and the LBA marks back on every block the map wrote.
  EXPECT_TRUE(RegisterCompareCommands(interp).empty());
  Run("Compare_MapRecoverBasePattern();");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Printed("Base Pattern  : 0x00000000"));
  Run("Compare_WithPattern( LBA:0, RangeSector:2048, ComparePattern:0, MarkSectorHeader:TRUE, AccessKB:64 );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Printed("Compare Result : Compare Finish. No error exist. | 0"));
}

// A write that fails ends with -4 and its LBA; the compare afterwards takes the requests still in
// flight as either way and finds every other block as the base pattern left it. A sector that does
// not read counts its whole block as read failures, and the compare goes on past it.
TEST_F(LbaMapLab, InterruptedWriteAndUnreadableBlock) {
  EXPECT_TRUE(RegisterPatternCommands(interp).empty());
  const std::string map = Make("RandRatio:30, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1, FlushRatio:100");
  ASSERT_FALSE(map.empty());
  Run("FullByPattern( LBA:0, RangeSector:2048, Pattern:0, MarkSectorHeader:TRUE );");
  ASSERT_EQ(Code(), 0) << Description();
  // Another map, written whole beforehand at another place.
  const std::string other = Make("RandRatio:0, LBA:0x1000, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1");
  Run("Compare_MapWrite( LBAMap:\"" + other + "\", QD:4, WritePattern:0x0F0F0F0F );");
  ASSERT_EQ(Code(), 0) << Description();
  sim::FaultPlan plan = Drive(disk::testing::kRawNvme)->faults();
  plan.failRequests = sim::request::kWrite;
  plan.failRequestsCount = 1;
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  Run("Compare_MapWrite( LBAMap:\"" + map + "\", QD:16, WritePattern:0x0F0F0F0F );");
  EXPECT_EQ(Code(), code::kWriteFailed);
  EXPECT_NE(Description().find("CurrentLBA: 0x"), std::string::npos) << Description();
  const MapProgress& progress = MapProgressOf(interp, 0);
  EXPECT_GT(progress.issued, 0u);
  EXPECT_LT(progress.completed, 256u);
  Run("Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:0, WritePattern:0x0F0F0F0F );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Printed("Total Error Sectors              : 0")) << ::testing::PrintToString(Texts());
  // The record of the interrupted write says nothing about the other map, which compares clean.
  Run("Compare_MapCompare( LBAMap:\"" + other + "\", BasePattern:0, WritePattern:0x0F0F0F0F );");
  EXPECT_TRUE(Printed("Total Error Sectors              : 0")) << ::testing::PrintToString(Texts());

  plan = Drive(disk::testing::kRawNvme)->faults();
  plan.mediaErrorLbas.insert(0x7F2);
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  Run("Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:0, WritePattern:0x0F0F0F0F );");
  EXPECT_TRUE(Printed("Read IO Fail Sectors             : 8")) << ::testing::PrintToString(Texts());
  EXPECT_TRUE(Printed("Total Error Sectors              : 8"));
}

// The replay with read-back: clean with trims, FUA writes and flushes; a bit wrong on the way (-70)
// or in the stored data (-71) stops it with the sector's place.
TEST_F(LbaMapLab, WriteCompareReadsEveryBlockBack) {
  const std::string map = Make("RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1, TrimRatio:1000, "
                               "FuaRatio:1000, FlushRatio:500");
  ASSERT_FALSE(map.empty());
  Run("Compare_MapWriteCompare( LBAMap:\"" + map + "\", QD:8, WritePattern:\"AUTO\" );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Printed("Compare Result : Compare Finish. No error exist. | 0")) << ::testing::PrintToString(Texts());
  const struct {
    bool stored;
    int32_t code;
  } cases[] = {{false, code::kMiscompareThenCorrect}, {true, code::kMiscompareTwice}};
  for (const auto& c : cases) {
    sim::FaultPlan plan = Drive(disk::testing::kRawNvme)->faults();
    (c.stored ? plan.bitFlipWrites : plan.bitFlipReads).insert(0x1F3);
    Drive(disk::testing::kRawNvme)->set_faults(plan);
    Run("Compare_MapWriteCompare( LBAMap:\"" + map + "\", QD:4, WritePattern:0x12345678 );");
    EXPECT_EQ(Code(), c.code) << Description();
    EXPECT_TRUE(Printed("Error LBA    : 0x1F3 ")) << ::testing::PrintToString(Texts());
    EXPECT_NE(Description().find("CurrentLBA: 0x00000000000001F0"), std::string::npos) << Description();
    plan.bitFlipReads.clear();
    plan.bitFlipWrites.clear();
    Drive(disk::testing::kRawNvme)->set_faults(plan);
  }
}

// The drive alone loses its power in the middle of a map written with its write cache on: what was
// not yet durable may come back old, which is no error. After a host crash the view's record is
// gone and the compare takes the record the write kept on disk beside the map's copy, with the
// entries past the durable ones uncertain. Another map's record there is passed over: then every
// entry counts as issued and durable, and the writes the power cut lost are errors.
TEST_F(LbaMapLab, APowerCutAndAHostCrashAreJudgedByTheRecord) {
  EXPECT_TRUE(RegisterPatternCommands(interp).empty());
  const std::string map = Make("RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:2, FlushRatio:200");
  ASSERT_FALSE(map.empty());
  Run("FullByPattern( LBA:0, RangeSector:2048, Pattern:0, MarkSectorHeader:TRUE );");
  Run("FlushCache();");
  sim::FaultPlan plan = Drive(disk::testing::kRawNvme)->faults();
  plan.powerCutAfterRequests = 400;
  plan.returnAfterSeconds = 1;
  plan.seed = 5;
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  Run("Compare_MapWrite( LBAMap:\"" + map + "\", QD:8, WritePattern:0x0F0F0F0F );");
  EXPECT_EQ(Code(), code::kWriteFailed) << Description();
  host.Advance(2000);
  auto count = [&](const std::string& key) {
    for (const std::string& t : Texts())
      if (t.rfind(key, 0) == 0) return std::stoull(t.substr(t.find(':') + 1));
    ADD_FAILURE() << key << " not printed";
    return 0ull;
  };
  const std::string compare = "Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:0, WritePattern:0x0F0F0F0F );";
  Run(compare);
  EXPECT_GT(count("Old Data Not Yet Durable Sectors"), 0u) << ::testing::PrintToString(Texts());
  EXPECT_EQ(count("Miscompare - As Old Data Sectors"), count("Old Data Not Yet Durable Sectors"));
  EXPECT_EQ(count("Total Error Sectors"), 0u) << ::testing::PrintToString(Texts());

  const std::string record = platform::JoinPath(interp.view(0).logFolder, kProgressFileName);
  const std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(record);
  ASSERT_TRUE(bytes);
  const std::optional<ProgressRecord> kept = DecodeProgress(*bytes);
  ASSERT_TRUE(kept);
  const MapProgress written = MapProgressOf(interp, 0);
  EXPECT_EQ(kept->map, IdentityOf(*platform::ReadWholeFile(map)));
  EXPECT_EQ(kept->durable, written.durable);
  EXPECT_GE(kept->horizon, written.issued);
  EXPECT_GT(written.durable, 0u);
  EXPECT_LT(written.durable, written.issued);

  MapProgressOf(interp, 0) = MapProgress{};  // the host went down
  Run(compare);
  EXPECT_EQ(count("Total Error Sectors"), 0u) << ::testing::PrintToString(Texts());

  // After a reboot the run has a log folder of its own: the record beside the map, named by the
  // disk, still knows the write, and it is the same record.
  const disk::DiskEntry& current = disk::StateOf(interp).current;
  ASSERT_FALSE(current.serial.empty());
  const std::string besideMap =
      platform::JoinPath(platform::FolderOf(map), ProgressFileNameFor({current.serial, current.totalBytes}));
  EXPECT_EQ(platform::ReadWholeFile(besideMap), bytes);
  const std::string before = interp.view(0).logFolder;
  interp.view(0).logFolder = platform::JoinPath(dir.path(), "after-reboot");
  std::filesystem::create_directories(platform::FsPath(interp.view(0).logFolder));
  Run(compare);
  EXPECT_EQ(count("Total Error Sectors"), 0u) << ::testing::PrintToString(Texts());
  interp.view(0).logFolder = before;

  const std::vector<uint8_t> anotherMaps = EncodeProgress({{kept->map.bytes, kept->map.crc ^ 1}, 0, 0});
  ASSERT_TRUE(platform::WriteWholeFile(record, anotherMaps));
  ASSERT_TRUE(platform::WriteWholeFile(besideMap, anotherMaps));
  Run(compare);
  EXPECT_GT(count("Old Data After Flush/FUA Sectors"), 0u) << ::testing::PrintToString(Texts());
  EXPECT_GT(count("Total Error Sectors"), 0u);
}

// A host crash while the drive kept its power: the drive holds the first 100 of 256 sequential writes,
// and the record the write left says entries [durable, 200) may or may not have happened. Blocks of
// that tail that still hold the base pattern are no old data at all; entries before `durable` are
// judged strictly, so a durable write the drive does not hold is old data after a flush, an error.
TEST_F(LbaMapLab, AfterAHostCrashTheRecordsTailIsUncertain) {
  EXPECT_TRUE(RegisterPatternCommands(interp).empty());
  const std::string map = Make("RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1");
  ASSERT_FALSE(map.empty());
  Run("FullByPattern( LBA:0, RangeSector:2048, Pattern:0, MarkSectorHeader:TRUE );");
  const std::vector<uint8_t> bytes = *platform::ReadWholeFile(map);
  std::string problem;
  std::optional<LbaMap> done = DecodeMap(bytes, 512, 64 * kMiB, problem);
  ASSERT_TRUE(done) << problem;
  ASSERT_EQ(done->entries.size(), 256u);
  // What the host got to issue before it went down: the map's first 100 entries, the same writes
  // with the same order numbers and write counts.
  done->entries.resize(100);
  const std::string issued = platform::JoinPath(dir.path(), "issued.map");
  ASSERT_TRUE(platform::WriteWholeFile(issued, EncodeMap(*done)));
  Run("Compare_MapWrite( LBAMap:\"" + issued + "\", QD:8, WritePattern:0x0F0F0F0F );");
  ASSERT_EQ(Code(), 0) << Description();
  auto count = [&](const std::string& key) {
    for (const std::string& t : Texts())
      if (t.rfind(key, 0) == 0) return std::stoull(t.substr(t.find(':') + 1));
    ADD_FAILURE() << key << " not printed";
    return 0ull;
  };
  const struct {
    uint64_t durable;
    unsigned long long old, oldAfterFlush, total;
  } cases[] = {
      {0, 0, 0, 0},
      {100, 0, 0, 0},
      {110, 80, 80, 80},  // ten durable writes of 8 sectors each that the drive never got
  };
  const std::string record = platform::JoinPath(interp.view(0).logFolder, kProgressFileName);
  for (const auto& c : cases) {
    ASSERT_TRUE(platform::WriteWholeFile(record, EncodeProgress({IdentityOf(bytes), c.durable, 200})));
    MapProgressOf(interp, 0) = MapProgress{};  // the host went down
    Run("Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:0, WritePattern:0x0F0F0F0F );");
    EXPECT_EQ(count("Miscompare - As Old Data Sectors"), c.old) << c.durable << ::testing::PrintToString(Texts());
    EXPECT_EQ(count("Old Data After Flush/FUA Sectors"), c.oldAfterFlush) << c.durable;
    EXPECT_EQ(count("Total Error Sectors"), c.total) << c.durable;
  }
  // Without the record every entry counts as issued and durable: the 156 writes never issued are errors.
  std::filesystem::remove(platform::FsPath(record));
  Run("Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:0, WritePattern:0x0F0F0F0F );");
  EXPECT_EQ(count("Old Data After Flush/FUA Sectors"), 156u * 8);
}

// Plain writes are durable at once only while the drive's write cache is off (the Volatile Write
// Cache feature says so); with it on and no flush in the map, none is.
TEST_F(LbaMapLab, AWriteCacheThatIsOffMakesEveryCompletedWriteDurable) {
  const std::string map = Make("RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1");
  ASSERT_FALSE(map.empty());
  const disk::DiskEntry* entry = nullptr;
  for (const disk::DiskEntry& e : state().list)
    if (e.devicePath == disk::testing::kRawNvme) entry = &e;
  ASSERT_NE(entry, nullptr);
  for (const bool cacheOn : {false, true}) {
    ASSERT_GE(disk::SetFeatures(tree(), *entry, 0x06, false, cacheOn ? 1 : 0), 0);
    Run("Compare_MapWrite( LBAMap:\"" + map + "\", QD:8, WritePattern:0x0F0F0F0F );");
    ASSERT_EQ(Code(), 0) << Description();
    const MapProgress& p = MapProgressOf(interp, 0);
    EXPECT_EQ(p.issued, 256u);
    EXPECT_EQ(p.durable, cacheOn ? 0u : 256u) << cacheOn;
  }
}

TEST_F(LbaMapLab, ChecksComeBeforeAnyIo) {
  const std::string map = Make("RandRatio:100, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1");
  ASSERT_FALSE(map.empty());
  std::vector<uint8_t> bad = *platform::ReadWholeFile(map);
  bad[24 + 9 * 7 + 8] = 9;
  const std::string badMap = platform::JoinPath(dir.path(), "bad.map");
  platform::WriteWholeFile(badMap, bad);
  const struct {
    std::string statement;
    const std::string& disk;
    int32_t code;
    std::string detail;
  } cases[] = {
      {"Compare_MapMake( RandRatio:100, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1, TrimRatio:3000, FuaRatio:0, "
       "FlushRatio:2001 );",
       disk::testing::kRawNvme, code::kBadParameter, "Trim + Flush Ratio need < 5000"},
      {"Compare_MapMake( RandRatio:101, LBA:0, RangeLenMB:1, AccessKB:4 );", disk::testing::kRawNvme,
       code::kBadParameter, ""},
      {"Compare_MapMake( RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:2 );", disk::testing::kRaw4K, code::kBadParameter,
       ""},
      {"Compare_MapMake( RandRatio:0, LBA:0x100000, RangeLenMB:1, AccessKB:4 );", disk::testing::kRawNvme,
       code::kBadParameter, ""},
      {"Compare_MapWrite( LBAMap:\"" + map + "\", QD:129 );", disk::testing::kRawNvme, code::kBadParameter, ""},
      {"Compare_MapWrite( LBAMap:\"" + map + "\", QD:4, WritePattern:\"AUTO\" );", disk::testing::kRawNvme,
       code::kBadParameter, "Cannot support AUTO Pattern"},
      {"Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:\"AUTO\" );", disk::testing::kRawNvme,
       code::kBadParameter, "Cannot support AUTO BasePattern"},
      {"Compare_MapWrite( LBAMap:\"" + map + "\", QD:4 );", disk::testing::kLettered, code::kRawModeOnly, ""},
      {"Compare_MapWrite( LBAMap:\"nowhere.map\", QD:4 );", disk::testing::kRawNvme, code::kFileOpenFailed,
       "nowhere.map"},
      {"Compare_MapCompare( LBAMap:\"" + badMap + "\" );", disk::testing::kRawNvme, code::kInvalidData,
       "bad.map: entry 7: kind 9"},
  };
  for (const auto& c : cases) {
    Select(c.disk);
    lab->requestLog().Clear();
    Run(c.statement);
    EXPECT_EQ(Code(), c.code) << c.statement;
    EXPECT_NE(Description().find(c.detail), std::string::npos) << c.statement << ": " << Description();
    EXPECT_TRUE(Requests("OpenQueue").empty()) << c.statement;
  }
  // Nothing to recover before a map was written and compared in this view.
  Run("Compare_MapRecoverBasePattern();");
  EXPECT_TRUE(Printed("Need Call Compare_MapWrite and Comapre_MapCompare beforce this command"));
  EXPECT_TRUE(Requests("OpenQueue").empty());
  // Trims and flushes of 50 % together are still allowed.
  Select(disk::testing::kRawNvme);
  // and two maps made at once get folders of their own.
  const std::string again = Make("RandRatio:100, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1, TrimRatio:3000, "
                                 "FuaRatio:0, FlushRatio:2000");
  EXPECT_FALSE(again.empty());
  EXPECT_NE(platform::FolderOf(again), platform::FolderOf(map));
}

}  // namespace
}  // namespace kestrune::workloads
