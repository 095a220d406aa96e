#include "workloads/ratio_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace kestrune::workloads {
namespace {

TEST(RatioTable, HoldsExactlyTheRatioAtShuffledPositions) {
  struct Case {
    uint32_t count, ratio, ones;
  };
  const Case cases[] = {{100, 0, 0},     {100, 1, 1},     {100, 37, 37},       {100, 99, 99},
                        {100, 100, 100}, {100, 250, 100}, {10000, 2500, 2500}, {0, 5, 0}};
  for (const Case& c : cases) {
    Generator g(c.ratio);
    const auto table = RatioTable(c.count, c.ratio, g);
    ASSERT_EQ(table.size(), c.count);
    uint32_t ones = 0;
    for (uint8_t e : table) ones += e;
    EXPECT_EQ(ones, c.ones) << c.count << "/" << c.ratio;
  }
  Generator a(1), b(2);
  const auto first = RatioTable(100, 50, a), second = RatioTable(100, 50, b);
  EXPECT_NE(first, second) << "positions come from the generator";
  EXPECT_NE(first, RatioTable(100, 50, a)) << "and differ from table to table";
  std::vector<uint8_t> leading(100, 0);
  std::fill(leading.begin(), leading.begin() + 50, 1);
  EXPECT_NE(first, leading) << "shuffled, not the first ratio entries";
}

TEST(RatioTable, EveryRunOfTableSizeRequestsHoldsTheRatio) {
  Generator g(3);
  TableCursor<uint8_t> cursor(RatioTable(kPercentTableSize, 30, g));
  for (int run = 0; run < 3; ++run) {
    uint32_t writes = 0;
    for (uint32_t i = 0; i < kPercentTableSize; ++i) writes += cursor.Next();
    EXPECT_EQ(writes, 30u) << "run " << run;
  }
}

TEST(OperationTable, PlacesEachKindsCountAndCutsOverfullRatiosInOrder) {
  struct Case {
    uint32_t trim, fua, flush;
    std::array<uint32_t, 4> expected;  // Write, Trim, FuaWrite, Flush
  };
  const Case cases[] = {
      {0, 0, 0, {10000, 0, 0, 0}},
      {100, 25, 1, {9874, 100, 25, 1}},
      {6000, 5000, 10, {0, 6000, 4000, 0}},
  };
  for (const Case& c : cases) {
    Generator g(11);
    std::array<uint32_t, 4> counts{};
    for (OperationKind k : OperationTable(c.trim, c.fua, c.flush, g)) ++counts[static_cast<size_t>(k)];
    EXPECT_EQ(counts, c.expected) << c.trim << "/" << c.fua << "/" << c.flush;
  }
}

}  // namespace
}  // namespace kestrune::workloads
