// The coverage map: positions and bar lengths in pixels, bars that go on in the next row, and a
// saved map read back.
#include "workloads/coverage_map.h"

#include <gtest/gtest.h>

#include "platform/host.h"
#include "support/fake_host.h"
#include "workloads/png_pixels.h"

namespace kestrune::workloads {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

TEST(CoverageLayout, ColumnsAndLengthsRoundUp) {
  const struct {
    uint64_t offset, start, range, width, column;
  } columns[] = {
      {0, 0, 930 * kMiB, 930, 0},
      {1, 0, 930 * kMiB, 930, 1},  // any byte into a pixel's share counts for that pixel
      {kMiB, 0, 930 * kMiB, 930, 1},
      {kMiB + 1, 0, 930 * kMiB, 930, 2},
      {5 * kMiB, 4 * kMiB, 930 * kMiB, 3720, 4},
      {3 * kMiB, 4 * kMiB, 930 * kMiB, 3720, 0},  // before the range
      {uint64_t{1} << 62, 0, uint64_t{1} << 63, 3720, 1860},
      {7, 0, 0, 3720, 0},
  };
  for (const auto& c : columns)
    EXPECT_EQ(CoverageColumn(c.offset, c.start, c.range, c.width), c.column) << c.offset << " in " << c.range;
  EXPECT_EQ(CoverageLength(4096, 930 * kMiB, 930), 1u);  // at least one pixel
  EXPECT_EQ(CoverageLength(3 * kMiB, 930 * kMiB, 930), 3u);
  EXPECT_EQ(CoverageLength(3 * kMiB + 1, 930 * kMiB, 930), 4u);
}

TEST(CoverageLayout, BarsGoOnInTheNextRow) {
  EXPECT_EQ(CoverageBars(0, 5), (std::vector<Rect>{{40, 1, 5, 128}}));
  EXPECT_EQ(CoverageBars(928, 5), (std::vector<Rect>{{968, 1, 2, 128}, {40, 130, 3, 128}}));
  EXPECT_EQ(CoverageBars(930 * 3 + 929, 4),
            (std::vector<Rect>{{969, 388, 1, 128}}));  // past the last row: dropped
  EXPECT_EQ(CoverageBars(930 * 4, 4), (std::vector<Rect>{}));
  EXPECT_EQ(CoverageSeparators(), (std::vector<int>{129, 258, 387}));
}

TEST(CoverageMapPicture, TouchedAreasDarkenWithEveryTouch) {
  kestrune::testing::TempDir dir;
  CoverageRecord record;
  record.startOffset = 0;
  record.rangeBytes = 3720 * kMiB;  // one pixel per MiB
  record.colour = coverage::kPatternSearch;
  record.touches = {{0, 2 * kMiB}, {kMiB, kMiB}, {929 * kMiB, 3 * kMiB}};
  const std::string path = platform::JoinPath(dir.path(), "map.png");
  ASSERT_TRUE(SaveCoverageMap(record, path));

  std::optional<testing::PngPixels> png = testing::ReadPng(path);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, kCoverageWidth);
  EXPECT_EQ(png->height, kCoverageHeight);
  EXPECT_EQ(png->At(500, 60), 0xFF000000u);  // untouched
  // 0x32328050 (alpha 50/255) over black once, and twice where the first two touches overlap.
  const uint32_t once = png->Rgb(40, 60), twice = png->Rgb(41, 60);
  EXPECT_NE(once, 0u);
  EXPECT_GT(twice & 0xFF, once & 0xFF);
  EXPECT_GT((twice >> 8) & 0xFF, (once >> 8) & 0xFF);
  // The third touch ends its first row and goes on at the start of the second.
  EXPECT_EQ(png->Rgb(969, 60), once);
  EXPECT_EQ(png->Rgb(40, 200), once);
  EXPECT_EQ(png->Rgb(41, 200), once);
  EXPECT_EQ(png->Rgb(42, 200), 0u);
  // The dashed separator between the first two rows begins with a dash.
  EXPECT_EQ(png->Rgb(41, 129), 0x808080u);
}

TEST(CoverageMapPicture, BatchesOfTenAreDrawnAndRepainted) {
  int repaints = 0;
  CoverageMap map(0, 3720 * kMiB, coverage::kMapWrite, kCoveragePlotWidth, [&] { ++repaints; });
  ASSERT_TRUE(map.ok());
  map.Start();
  for (int i = 0; i < 25; ++i) map.Add(static_cast<uint64_t>(i) * kMiB, kMiB);
  EXPECT_EQ(repaints, 2);
  map.Finish();
  EXPECT_EQ(repaints, 3);
  map.Finish();  // nothing left to draw
  EXPECT_EQ(repaints, 3);
}

}  // namespace
}  // namespace kestrune::workloads
