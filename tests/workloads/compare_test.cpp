// The compare commands on the sector lab: clean runs and their report, the checks that come before
// any I/O, a bit that flips on the read path (-70) or in the stored data (-71) with its place and
// dumps, and Compare_WithPattern over what FullByPattern wrote. The hand-out's rules on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/sector_lab.h"
#include "workloads/compare_lab.h"
#include "platform/files.h"
#include "disk/pattern_fill.h"
#include "workloads/compare_commands.h"
#include "workloads/mark_diagnosis.h"
#include "workloads/pattern_commands.h"
#include "workloads/verify_handout.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using compare_testing::CompareLab;
using disk::testing::kMiB;

TEST(VerifyHandOut, LanesSequenceAndHeldBlocks) {
  ::kestrune::testing::FakeHost host;
  Generator generator(7);
  VerifySettings s;
  s.rangeBytes = 8 * 4096;
  s.accessSize = 4096;
  s.threads = 3;
  // Random mode: thread t only gets blocks t, t + 3, t + 6 of the range.
  s.random = true;
  VerifyHandOut random(s, generator, host, nullptr);
  for (int i = 0; i < 60; ++i) {
    const uint32_t t = i % 3;
    const auto op = random.Next(t);
    ASSERT_TRUE(op);
    EXPECT_EQ(op->offset / 4096 % 3, t) << i;
    EXPECT_EQ(op->sequence, static_cast<uint64_t>(i + 1));
  }
  // Sequential: one cursor for all threads, back to the start at the range's end, and a block that
  // another thread still holds (not yet read back) is skipped.
  s.random = false;
  VerifyHandOut seq(s, generator, host, nullptr);
  std::vector<uint64_t> blocks;
  for (uint32_t t = 0; t < 3; ++t) blocks.push_back(seq.Next(t)->offset / 4096);
  EXPECT_EQ(blocks, (std::vector<uint64_t>{0, 1, 2}));
  for (int i = 0; i < 5; ++i) seq.Next(0);  // blocks 3..7; thread 1 and 2 still hold 1 and 2
  EXPECT_EQ(seq.Next(0)->offset / 4096, 0u);
  EXPECT_EQ(seq.Next(0)->offset / 4096, 3u);  // 1 and 2 held: skipped
  seq.Release(1);
  seq.Stop();
  EXPECT_FALSE(seq.Next(1));

  // A byte limit lets the request that reached it run, and stops the next one.
  s.limitBytes = 2 * 4096;
  VerifyHandOut limited(s, generator, host, nullptr);
  EXPECT_TRUE(limited.Next(0));
  EXPECT_TRUE(limited.Next(0));
  EXPECT_FALSE(limited.Next(0));
  EXPECT_TRUE(limited.stopped());

  // Ratios: more than the table, or a job that would never write while only a byte limit ends it.
  VerifySettings r;
  r.limitBytes = kMiB;
  r.trimRatio = 9000, r.flushRatio = 1001;
  EXPECT_FALSE(VerifyRatiosSound(r));
  r.flushRatio = 1000;
  EXPECT_FALSE(VerifyRatiosSound(r));
  r.limitSeconds = 10;
  EXPECT_TRUE(VerifyRatiosSound(r));
  r.trimRatio = 100, r.fuaRatio = 100, r.flushRatio = 100, r.limitSeconds = 0;
  EXPECT_TRUE(VerifyRatiosSound(r));
}

TEST(MarkDiagnosis, EachCauseFromTheMarks) {
  std::vector<uint8_t> written(4 * 512, 0x5A);
  disk::StampLongMarks(written, 0x40, 512, 7);
  auto with = [&](const std::function<void(std::vector<uint8_t>&)>& change) {
    std::vector<uint8_t> read = written;
    change(read);
    return DiagnoseMiscompare({written, read, 512, true, true});
  };
  const struct {
    const char* cause;
    std::function<void(std::vector<uint8_t>&)> change;
  } cases[] = {
      {"", [](std::vector<uint8_t>&) {}},
      {"deallocated", [](std::vector<uint8_t>& r) { std::fill(r.begin() + 512, r.begin() + 1024, 0xFF); }},
      {"foreign (mark names LBA 0x99: misdirected)", [](std::vector<uint8_t>& r) { disk::StampLongMarks(std::span(r).subspan(1024, 512), 0x99, 512, 7); }},
      {"stale (own LBA, older write 5)", [](std::vector<uint8_t>& r) { disk::StampLongMarks(r, 0x40, 512, 5); }},
      {"torn (sectors 2..3 from other writes)",
       [](std::vector<uint8_t>& r) { disk::StampLongMarks(std::span(r).subspan(1024), 0x42, 512, 5); }},
      {"corrupt (3 bits)", [](std::vector<uint8_t>& r) { r[3 * 512 + 100] ^= 0x07; }},
  };
  for (const auto& c : cases) EXPECT_EQ(with(c.change), c.cause) << c.cause;
  // Without marks only the data can speak.
  std::vector<uint8_t> plain(512, 0x11), read = plain;
  read[0] = 0x10;
  EXPECT_EQ(DiagnoseMiscompare({plain, read, 512, false, false}), "corrupt (1 bits)");
}

TEST_F(CompareLab, CleanRunsReportNoError) {
  const char* statements[] = {
      "Compare_SeqReadWrite( LBA:0, RangeLenMB:2, AccessKB:64, QD:4, WritePattern:0x5AA5A55A, LimitCycle:2 );",
      "Compare_RandReadWrite( LBA:2048, RangeLenMB:2, AccessKB:4, QD:8, WritePattern:\"AUTO\", LimitTxSizeMB:1, "
      "LimitTimeSec:0, StepRun:0, StepDelay:0, TrimRatio:2000, FuaRatio:2000, FlushRatio:1000, nWrite1Read:1 );",
      "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessSector:16, QD:32, WritePattern:0, LimitCycle:1 );",
      "Compare_RandSizeOverlap( LBA:0, RangeLenMB:64, QD:8, RandAccessKB:\"AUTO\", RandRatio:50, OverRatio:20, "
      "LimitTxSizeMB:8, LimitTimeSec:0 );",
      "Compare_RandSizeOverlap( LBA:0, RangeLenMB:64, QD:4, RandAccessKB:600, RandRatio:100, OverRatio:50, "
      "LimitTxSizeMB:4, LimitTimeSec:0 );",  // 600 KiB requests are cut to the 512 KiB slot buffers
  };
  for (const char* statement : statements) {
    Run(statement);
    EXPECT_EQ(Code(), 0) << statement << " " << Description();
    EXPECT_TRUE(Printed("Compare Result : Compare Finish. No error exist. | 0")) << statement;
  }
  // Two cycles of the first job, each exactly complete.
  Run(statements[0]);
  EXPECT_TRUE(Printed("Last Cycle Data, Cycle2, Process:100%"));
}

TEST_F(CompareLab, ChecksComeBeforeAnyIo) {
  const struct {
    const char* statement;
    const std::string& disk;
    int32_t code;
    const char* detail;
  } cases[] = {
      {"Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:4, QD:129 );", disk::testing::kRawNvme, code::kBadParameter, ""},
      {"Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:0, QD:1 );", disk::testing::kRawNvme, code::kBadParameter, ""},
      {"Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:2, QD:1 );", disk::testing::kRaw4K, code::kBadParameter, ""},
      {"Compare_SeqReadWrite( LBA:0x200000, RangeLenMB:1, AccessKB:4, QD:1 );", disk::testing::kRawNvme,
       code::kBadParameter, ""},
      {"Compare_RandReadWrite( LBA:0, RangeLenMB:1, AccessKB:4, QD:1, WritePattern:0, LimitTxSizeMB:1, LimitTimeSec:0, "
       "StepRun:0, StepDelay:0, TrimRatio:6000, FuaRatio:0, FlushRatio:5000 );",
       disk::testing::kRawNvme, code::kBadParameter, ""},
      {"Compare_RandReadWrite( LBA:0, RangeLenMB:1, AccessKB:512, QD:4 );", disk::testing::kRawNvme, code::kBadParameter,
       ""},  // two blocks for four threads
      {"Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:4, QD:1 );", disk::testing::kLettered, code::kRawModeOnly, ""},
      {"Compare_RandSizeOverlap( LBA:0, RangeLenMB:64, QD:33 );", disk::testing::kRawNvme, code::kBadParameter,
       "iQDepth: 1 - 32"},
      {"Compare_RandSizeOverlap( LBA:0, RangeLenMB:63, QD:4 );", disk::testing::kRawNvme, code::kBadParameter,
       "This Function, iRangeLenMB: 64 - 2048"},
      {"Compare_RandSizeOverlap( LBA:0, RangeLenMB:64, QD:4, RandAccessKB:4, RandRatio:101 );", disk::testing::kRawNvme,
       code::kBadParameter, "iRandRatio/iOverRatio: 0 - 100"},
      {"Compare_RandSizeOverlap( LBA:1, RangeLenMB:64, QD:4 );", disk::testing::kRawNvme, code::kBadParameter, ""},
      {"Compare_RandSizeOverlap( LBA:0, RangeLenMB:64, QD:4 );", disk::testing::kLettered, code::kRawModeOnly, ""},
      {"Compare_WithPattern( LBA:0, RangeSector:8, ComparePattern:\"AUTO\" );", disk::testing::kRawNvme,
       code::kBadParameter, "Cannot support AUTO Pattern"},
      {"Compare_WithPattern( LBA:0, RangeSector:8, ComparePattern:1, MarkSectorHeader:TRUE, AccessKB:0 );",
       disk::testing::kRawNvme, code::kBadParameter, ""},
  };
  for (const auto& c : cases) {
    Select(c.disk);
    lab->requestLog().Clear();
    Run(c.statement);
    EXPECT_EQ(Code(), c.code) << c.statement;
    EXPECT_NE(Description().find(c.detail), std::string::npos) << c.statement << ": " << Description();
    EXPECT_TRUE(Requests("OpenQueue").empty()) << c.statement;
  }
}

TEST_F(CompareLab, MiscomparesAreClassifiedByTheSecondRead) {
  const struct {
    bool stored;
    int32_t code;
    const char* type;
    const char* result;
  } cases[] = {
      {false, code::kMiscompareThenCorrect, "Error Type   : 1st Read is Miscompare, 2nd Read is Correct!",
       "Compare Result : 1st Read is Miscompare, 2nd Read is Correct! | 1"},
      {true, code::kMiscompareTwice, "Error Type   : 1st Read is Miscompare, 2nd Read is still MisCompare!",
       "Compare Result : 1st Read is Miscompare, 2nd Read is still Miscompare! | 2"},
  };
  for (const auto& c : cases) {
    // The verify job's first read of LBA 0x105 is its read-back after writing the block.
    Fault([&](sim::FaultPlan& p) { (c.stored ? p.bitFlipWrites : p.bitFlipReads).insert(0x105); });
    Run("Compare_SeqReadWrite( LBA:0x100, RangeLenMB:1, AccessKB:64, QD:1, WritePattern:0x11111111, LimitCycle:1 );");
    EXPECT_EQ(Code(), c.code);
    EXPECT_TRUE(Printed(c.type)) << c.type;
    EXPECT_TRUE(Printed("Error Action : LBA:0x100 , AccessSize:0x10000"));
    EXPECT_TRUE(Printed("Error LBA    : 0x105 ")) << ::testing::PrintToString(Texts());
    EXPECT_TRUE(Printed("Error Cause  : corrupt (1 bits)"));
    EXPECT_TRUE(Printed(c.result)) << c.result;
    EXPECT_NE(Description().find("CurrentLBA: 0x0000000000000100"), std::string::npos) << Description();
    // The dumps: the sector as written and as read, one bit apart in its middle byte.
    std::vector<std::string> dumps;
    for (const engine::OutputLine& l : printed)
      if (l.kind == engine::kDataFile) dumps.push_back(l.attachedPath);
    ASSERT_EQ(dumps.size(), 3u);
    const auto expected = platform::ReadWholeFile(dumps[0]), first = platform::ReadWholeFile(dumps[1]);
    ASSERT_TRUE(expected && first);
    ASSERT_EQ(expected->size(), 512u);
    EXPECT_EQ((*expected)[256] ^ (*first)[256], 1);
    EXPECT_EQ(std::vector(expected->begin(), expected->begin() + 8), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 1, 5}));
    Fault([](sim::FaultPlan& p) { p.bitFlipReads.clear(), p.bitFlipWrites.clear(); });
  }
}

// Every class of stored or read fault the lab can inject, at a random LBA of the range: the compare
// finds it, names the sector and tells the cause from the marks.
TEST_F(CompareLab, EveryInjectedFaultIsFoundAndClassified) {
  std::mt19937 random(20261209);
  const uint64_t first = 0x100, sectors = 2048;  // 1 MiB of 512-byte sectors
  const char* verify = "Compare_SeqReadWrite( LBA:0x100, RangeLenMB:1, AccessKB:16, QD:1, WritePattern:0x22222222, LimitCycle:%d );";
  // The range holds two cycles of blocks of 32 sectors: block k carries write 64 + k + 1.
  Run(base::Format(verify, 2));
  ASSERT_EQ(Code(), 0) << Description();
  const struct {
    const char* what;
    std::function<void(sim::FaultPlan&, uint64_t)> inject;
    int32_t code;
    std::function<uint64_t(uint64_t)> errorLba;
    std::function<std::string(uint64_t)> cause;
  } cases[] = {
      {"stored bit", [](sim::FaultPlan& p, uint64_t x) { p.bitFlipWrites.insert(x); }, code::kMiscompareTwice,
       [](uint64_t x) { return x; }, [](uint64_t) { return std::string("corrupt (1 bits)"); }},
      {"read bit", [](sim::FaultPlan& p, uint64_t x) { p.bitFlipReads.insert(x); }, code::kMiscompareThenCorrect,
       [](uint64_t x) { return x; }, [](uint64_t) { return std::string("corrupt (1 bits)"); }},
      {"lost write", [](sim::FaultPlan& p, uint64_t x) { p.lostWrites.insert(x); }, code::kMiscompareTwice,
       [&](uint64_t x) { return x / 32 * 32; },
       [&](uint64_t x) {
         return base::Format("stale (own LBA, older write %llu)", static_cast<unsigned long long>(64 + (x - first) / 32 + 1));
       }},
      {"torn write", [](sim::FaultPlan& p, uint64_t x) { p.tornWrites.insert(x | 1); }, code::kMiscompareTwice,
       [](uint64_t x) { return x | 1; },
       [](uint64_t x) {
         return base::Format("torn (sectors %llu..31 from other writes)", static_cast<unsigned long long>((x | 1) % 32));
       }},
  };
  for (const auto& c : cases) {
    const uint64_t x = first + random() % sectors;
    Fault([&](sim::FaultPlan& p) { c.inject(p, x); });
    Run(base::Format(verify, 1));
    EXPECT_EQ(Code(), c.code) << c.what << " at " << x;
    EXPECT_TRUE(Printed(base::Format("Error LBA    : 0x%llX ", static_cast<unsigned long long>(c.errorLba(x)))))
        << c.what << " at " << x << ::testing::PrintToString(Texts());
    EXPECT_TRUE(Printed("Error Cause  : " + c.cause(x))) << c.what << " at " << x << ::testing::PrintToString(Texts());
    Fault([](sim::FaultPlan& p) { p = sim::FaultPlan{}; });
    Run(base::Format(verify, 2));  // the range as it was
  }

  // Short marks through FullByPattern and Compare_WithPattern: a write that landed 1024 sectors early
  // shows another LBA's marks; one that was lost on a fresh range reads as never written. (The fill
  // keeps four 128 KiB requests in flight, which the lab applies in random order: the write whose
  // place the misdirected one takes is done before it starts, so the two do not race.)
  const char* fill = "FullByPattern( LBA:0x1000, RangeSector:4096, Pattern:0x33333333, MarkSectorHeader:TRUE );";
  const char* check = "Compare_WithPattern( LBA:0x1000, RangeSector:4096, ComparePattern:0x33333333, MarkSectorHeader:TRUE, AccessKB:64 );";
  const uint64_t x = 0x1000 + 1024 + random() % 2048;  // in a 128 KiB request past the first two
  Fault([&](sim::FaultPlan& p) { p.misdirectedWrites[x] = x - 1024; });
  Run(fill);
  Run(check);
  const uint64_t landed = (x - 0x1000) / 256 * 256 + 0x1000 - 1024;  // the request's first sector, moved
  EXPECT_TRUE(Printed(base::Format("Error LBA    : 0x%llX ", static_cast<unsigned long long>(landed))))
      << x << ::testing::PrintToString(Texts());
  EXPECT_TRUE(Printed(base::Format("Error Cause  : foreign (mark names LBA 0x%llX: misdirected)",
                                   static_cast<unsigned long long>(landed + 1024))))
      << ::testing::PrintToString(Texts());
  Fault([&](sim::FaultPlan& p) { p.lostWrites.insert(0x4000 + 300); });
  Run("FullByPattern( LBA:0x4000, RangeSector:1024, Pattern:0x33333333, MarkSectorHeader:TRUE );");
  Run("Compare_WithPattern( LBA:0x4000, RangeSector:1024, ComparePattern:0x33333333, MarkSectorHeader:TRUE, AccessKB:64 );");
  EXPECT_TRUE(Printed("Error LBA    : 0x4100 ")) << ::testing::PrintToString(Texts());
  EXPECT_TRUE(Printed("Error Cause  : deallocated"));

  // A drive that acknowledges flushes without destaging: what the fill wrote and FlushCache made
  // "durable" is gone after a power cut, and the compare names its first sector; a drive that
  // flushes keeps it all. (Each on a range of its own that was never written.)
  for (bool ignored : {false, true}) {
    const unsigned lba = ignored ? 0x7000 : 0x6000;
    Fault([&](sim::FaultPlan& p) { p = sim::FaultPlan{}, p.ignoreFlush = ignored; });
    Run(base::Format("FullByPattern( LBA:0x%X, RangeSector:4096, Pattern:0x44444444, MarkSectorHeader:TRUE );", lba));
    Run("FlushCache();");
    ASSERT_EQ(Code(), 0) << Description();
    lab->PowerCut();
    Run(base::Format("Compare_WithPattern( LBA:0x%X, RangeSector:4096, ComparePattern:0x44444444, "
                     "MarkSectorHeader:TRUE, AccessKB:64 );",
                     lba));
    EXPECT_EQ(Code(), ignored ? code::kMiscompareTwice : 0) << ignored << " " << Description();
    if (!ignored) continue;
    EXPECT_TRUE(Printed("Error LBA    : 0x7000 ")) << ::testing::PrintToString(Texts());
    EXPECT_TRUE(Printed("Error Cause  : deallocated"));
  }
  // The drive's own power cut right after the ignored flush keeps a random part of the fill's
  // 128 KiB writes: the compare names the first sector of the first one lost, the same one for the
  // same seed.
  std::vector<std::string> named;
  for (uint64_t lba : {0x8000, 0x8000, 0xA000}) {
    Run(base::Format("FullByPattern( LBA:0x%llX, RangeSector:4096, Pattern:0x55555555, MarkSectorHeader:TRUE );",
                     static_cast<unsigned long long>(lba)));
    Fault([](sim::FaultPlan& p) {
      p = sim::FaultPlan{}, p.seed = 11, p.ignoreFlush = true, p.powerCutAfterRequests = 1, p.returnAfterSeconds = 0;
    });
    Run("FlushCache();");
    ASSERT_EQ(Code(), 0) << Description();
    Run(base::Format("Compare_WithPattern( LBA:0x%llX, RangeSector:4096, ComparePattern:0x55555555, "
                     "MarkSectorHeader:TRUE, AccessKB:64 );",
                     static_cast<unsigned long long>(lba)));
    EXPECT_EQ(Code(), code::kMiscompareTwice) << Description();
    std::string line;
    for (const std::string& t : Texts())
      if (t.rfind("Error LBA    : 0x", 0) == 0) line = t;
    ASSERT_FALSE(line.empty()) << ::testing::PrintToString(Texts());
    const uint64_t at = std::stoull(line.substr(17), nullptr, 16) - lba;
    EXPECT_EQ(at % 256, 0u) << line;  // a whole request lost
    EXPECT_LT(at, 4096u) << line;
    EXPECT_TRUE(Printed("Error Cause  : deallocated"));
    named.push_back(std::to_string(at));
  }
  EXPECT_EQ(named[0], named[1]);  // the same seed, the same writes destaged
  Fault([](sim::FaultPlan& p) { p = sim::FaultPlan{}; });
}

TEST_F(CompareLab, WithPatternReadsWhatTheFillWrote) {
  Run("FullByPattern( LBA:0x40, RangeSector:64, Pattern:0x12345678, MarkSectorHeader:TRUE );");
  ASSERT_EQ(Code(), 0) << Description();
  Run("Compare_WithPattern( LBA:0x40, RangeSector:64, ComparePattern:0x12345678, MarkSectorHeader:TRUE, AccessKB:8 );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Printed("Compare Result : Compare Finish. No error exist. | 0"));
  // A bit that flips on the way: the second read is right.
  Fault([](sim::FaultPlan& p) { p.bitFlipReads.insert(0x50); });
  Run("Compare_WithPattern( LBA:0x40, RangeSector:64, ComparePattern:0x12345678, MarkSectorHeader:TRUE, AccessKB:8 );");
  EXPECT_EQ(Code(), code::kMiscompareThenCorrect);
  EXPECT_TRUE(Printed("Error LBA    : 0x50 "));
  // Without the marks the first sector already differs, and stays so.
  Run("Compare_WithPattern( LBA:0x40, RangeSector:64, ComparePattern:0x12345678, MarkSectorHeader:FALSE, AccessKB:8 );");
  EXPECT_EQ(Code(), code::kMiscompareTwice);
  EXPECT_TRUE(Printed("Error LBA    : 0x40 "));
}

}  // namespace
}  // namespace kestrune::workloads
