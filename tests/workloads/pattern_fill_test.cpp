// Data patterns as the pattern commands use them: the process-wide "AUTO" draws, the expected
// sector with each header mark on 4096-byte sectors, the fill range and its requests, dump names.
#include "disk/pattern_fill.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "workloads/fill_by_pattern.h"
#include "workloads/lba_lines.h"
#include "workloads/pattern_dumps.h"
#include "workloads/sector_marks.h"

namespace kestrune::workloads {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slice(std::span<const uint8_t> b, size_t from, size_t n) {
  return Bytes(b.begin() + from, b.begin() + from + n);
}

// Draws two "AUTO" fills from the process-wide generator, reports them on stderr and exits.
[[noreturn]] void DrawTwoAutoFillsAndExit() {
  Bytes first(6), second(4);
  const uint32_t a = disk::FillPattern(first, disk::kAutoPattern);
  const uint32_t b = disk::FillPattern(second, disk::kAutoPattern);
  const bool laid =
      first == Bytes{0x2D, 0x30, 0xC6, 0xA2, 0x2D, 0x30} && second == Bytes{0xAE, 0x09, 0x8F, 0x5F};
  std::fprintf(stderr, "%s first=%08X second=%08X\n", laid ? "laid" : "misplaced", a, b);
  std::exit(0);
}

TEST(AutoPattern, TheFirstTwoFillsAfterStartAre2D30C6A2AndAE098F5F) {
  // A fresh process, so that no other test has drawn from the process-wide generator yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(DrawTwoAutoFillsAndExit(), ::testing::ExitedWithCode(0), "laid first=2D30C6A2 second=AE098F5F");
}

TEST(ExpectedSector, EachMarkOn4096ByteSectorsOverThePatternUsed) {
  struct Case {
    SectorMark mark;
    Bytes head;  // the sector's first 24 bytes over a zero pattern
  };
  const Bytes lba = {0, 0, 0, 0, 0, 0, 0x56, 0x78};
  const Bytes seq = {1, 2, 3, 4, 5, 6, 7, 8};
  const Bytes tag = {0, 0, 0, 0, 0, 0, 0, 9};
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const Case cases[] = {
      {{}, Bytes(24, 0)},
      {{.layout = SectorMark::Layout::Short}, join({lba, Bytes(16, 0)})},
      {{.layout = SectorMark::Layout::Long, .sequence = 0x0102030405060708}, join({lba, seq, Bytes(8, 0)})},
      {{.layout = SectorMark::Layout::Extended, .firstTag = 9, .secondTag = 0x0102030405060708},
       join({lba, tag, seq})},
      {{.layout = SectorMark::Layout::Extended, .secondTag = 9}, join({lba, Bytes(8, 0), tag})},
  };
  for (const Case& c : cases) {
    const Bytes sector = ExpectedSector(0, 0x5678, 4096, c.mark);
    ASSERT_EQ(sector.size(), 4096u);
    EXPECT_EQ(Slice(sector, 0, 24), c.head) << static_cast<int>(c.mark.layout);
    EXPECT_EQ(Slice(sector, 24, 4096 - 24), Bytes(4096 - 24, 0)) << "only the mark is not zero";
  }

  // The expected sector of an "AUTO" write: the pattern it reported, laid again, is what it wrote.
  uint32_t state = 0;
  Bytes written(2 * 4096);
  const uint32_t used = disk::FillPattern(written, disk::kAutoPattern, state);
  const SectorMark mark{.layout = SectorMark::Layout::Long, .sequence = 3};
  StampMarks(written, 0x5678, 4096, mark);
  EXPECT_EQ(Bytes(SectorOf(written, 1, 4096).begin(), SectorOf(written, 1, 4096).end()),
            ExpectedSector(used, 0x5679, 4096, mark));
}

TEST(FillRange, CutsAZeroOrOverlongRangeToTheDisksEnd) {
  constexpr uint64_t kDisk = 100 * kMiB + 700;  // a tail shorter than a sector is not written
  struct Case {
    uint64_t lba, range;
    bool inMiB;
    uint32_t sectorSize;
    std::optional<ByteRange> expected;
  };
  const Case cases[] = {
      {0, 1, true, 512, ByteRange{0, kMiB}},
      {8, 16, false, 4096, ByteRange{8 * 4096, 24 * 4096}},
      {2048, 0, true, 512, ByteRange{kMiB, 100 * kMiB + 512}},
      {2048, 200, true, 512, ByteRange{kMiB, 100 * kMiB + 512}},
      {2048, UINT64_MAX, false, 512, ByteRange{kMiB, 100 * kMiB + 512}},
      {25600, 1, true, 4096, std::nullopt},
      {204801, 1, false, 512, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto r = FillRange(c.lba, c.range, c.inMiB, c.sectorSize, kDisk);
    ASSERT_EQ(r.has_value(), c.expected.has_value()) << c.lba;
    if (r) {
      EXPECT_EQ(std::pair(r->first, r->end), std::pair(c.expected->first, c.expected->end)) << c.lba;
    }
  }
}

TEST(FillRange, OneMiBOn512ByteSectorsIsEight128KiBRequestsWithProgressAndMarks) {
  const ByteRange range = *FillRange(0, 1, true, 512, 1 << 30);
  Bytes buffer(kFillRequestBytes);
  disk::FillPattern(buffer, 0x55AA33CC);
  PercentTracker progress(range);
  std::vector<std::string> lines;
  uint32_t requests = 0;
  uint64_t sectors = 0;
  for (uint64_t offset = range.first; offset < range.end; ++requests) {
    const uint32_t length = RequestLength(range, offset, kFillRequestBytes);
    MarkFillRequest(std::span(buffer).first(length), offset, 512);
    EXPECT_EQ(Slice(buffer, 0, 12), (Bytes{0, 0, 0, 0, 0, 0, static_cast<uint8_t>((offset / 512) >> 8),
                                           static_cast<uint8_t>(offset / 512), 0x55, 0xAA, 0x33, 0xCC}));
    sectors += length / 512;
    offset += length;
    if (progress.Advance(offset)) lines.push_back(FillProgressLine(progress.percent()));
  }
  EXPECT_EQ(requests, 8u);
  EXPECT_EQ(sectors, 2048u);
  EXPECT_EQ(lines, (std::vector<std::string>{"Full By Pattern : 12%", "Full By Pattern : 25%",
                                             "Full By Pattern : 37%", "Full By Pattern : 50%",
                                             "Full By Pattern : 62%", "Full By Pattern : 75%",
                                             "Full By Pattern : 87%", "Full By Pattern : 100%"}));
  EXPECT_EQ(RequestLength({0, 1000}, 900, 512), 100u) << "the last request writes what remains";
}

TEST(PatternLines, TheCommandsOwnTexts) {
  EXPECT_EQ(PatternLine(0x2D30C6A2), "Pattern     : 0x2D30C6A2");
  EXPECT_EQ(CurrentLbaLine(0x123456789A), "CurrentLBA: 0x000000123456789A");
  EXPECT_EQ(DumpName("/log/R0000000042", DumpKind::Expected), "/log/R0000000042_Pattern.Hex");
  EXPECT_EQ(DumpName("/log/R0000000042", DumpKind::FirstRead), "/log/R0000000042_Read1.Hex");
  EXPECT_EQ(DumpName("/log/R0000000042", DumpKind::SecondRead), "/log/R0000000042_Read2.Hex");
  EXPECT_EQ(DumpName("/log/R0000000042", DumpKind::Found), "/log/R0000000042.hex");
}

}  // namespace
}  // namespace kestrune::workloads
