#include "workloads/job_geometry.h"

#include <gtest/gtest.h>

#include <optional>

namespace kestrune::workloads {
namespace {

TEST(JobGeometry, WorksOutOffsetsCycleAndLimitOrRefusesRangesOfOneRequestOrLess) {
  struct Case {
    const char* name;
    JobRequest request;
    std::optional<JobGeometry> expected;  // only the figures below are compared
  };
  auto geometry = [](uint64_t start, uint64_t end, uint64_t range, uint64_t limit, uint32_t slots) {
    JobGeometry g;
    g.startOffset = start;
    g.endOffset = end;
    g.rangeBytes = range;
    g.limitBytes = limit;
    g.slotCount = slots;
    return g;
  };
  const Case cases[] = {
      {"0 MiB at LBA 0", {.lba = 0, .rangeLenMB = 0, .accessSize = 4096}, std::nullopt},
      {"range under the request size", {.rangeLenMB = 1, .accessSize = 2 << 20}, std::nullopt},
      {"range of exactly one request", {.rangeLenMB = 1, .accessSize = 1 << 20}, std::nullopt},
      {"request size 0", {.rangeLenMB = 1, .accessSize = 0}, std::nullopt},
      {"LBA x sector size past 64 bits",
       {.lba = uint64_t{1} << 60, .rangeLenMB = 1, .sectorSize = 4096, .accessSize = 4096},
       std::nullopt},
      {"shared",
       {.lba = 100, .rangeLenMB = 1, .accessSize = 4096, .queueDepth = 32, .processors = 2, .limitMB = 3},
       geometry(51200, 51200 + kMiB - 4096, kMiB, 3 * kMiB, 32)},
      {"limit rounded down to whole requests",
       {.rangeLenMB = 2, .accessSize = 1536, .queueDepth = 1, .limitMB = 1},
       geometry(0, 2 * kMiB - 1536, 2 * kMiB, kMiB / 1536 * 1536, 1)},
      {"per-worker: range and limit times QD",
       {.rangeLenMB = 4,
        .accessSize = 128 << 10,
        .queueDepth = 3,
        .processors = 2,
        .limitMB = 8,
        .perWorker = true},
       geometry(0, 4 * kMiB - (128 << 10), 12 * kMiB, 24 * kMiB, 3)},
      {"per-worker: the slot cap cuts the slots",
       {.rangeLenMB = 1, .accessSize = 4096, .queueDepth = 300, .processors = 2, .perWorker = true},
       geometry(0, kMiB - 4096, 300 * kMiB, 0, 256)},
      {"4096-byte sectors past 2^32 LBAs",
       {.lba = uint64_t{1} << 40, .rangeLenMB = 1, .sectorSize = 4096, .accessSize = 4096},
       geometry(uint64_t{1} << 52, (uint64_t{1} << 52) + kMiB - 4096, kMiB, 0, 1)},
  };
  for (const Case& c : cases) {
    const auto g = MakeJobGeometry(c.request);
    ASSERT_EQ(g.has_value(), c.expected.has_value()) << c.name;
    if (!g) continue;
    EXPECT_EQ(g->startOffset, c.expected->startOffset) << c.name;
    EXPECT_EQ(g->endOffset, c.expected->endOffset) << c.name;
    EXPECT_EQ(g->rangeBytes, c.expected->rangeBytes) << c.name;
    EXPECT_EQ(g->limitBytes, c.expected->limitBytes) << c.name;
    EXPECT_EQ(g->slotCount, c.expected->slotCount) << c.name;
  }
}

TEST(JobGeometry, RandomOffsetsAreAlignedInsideTheRangeAndReachPastTwoTo32Blocks) {
  // 4 TiB of 512-byte requests: 2^33 positions.
  const auto g = MakeJobGeometry({.lba = 8, .rangeLenMB = 1u << 22, .accessSize = 512});
  ASSERT_TRUE(g);
  Generator gen(1);
  bool pastTwoTo32 = false;
  for (int i = 0; i < 200; ++i) {
    const uint64_t offset = NextRandomOffset(*g, gen);
    ASSERT_GE(offset, g->startOffset);
    ASSERT_LE(offset, g->endOffset);
    ASSERT_EQ((offset - g->startOffset) % 512, 0u);
    pastTwoTo32 |= (offset - g->startOffset) / 512 >= (uint64_t{1} << 32);
  }
  EXPECT_TRUE(pastTwoTo32);
}

TEST(JobGeometry, SizeRangesDrawWholeSectorsWithinTheSpan) {
  struct Case {
    uint32_t size, span, low;
  };
  const Case cases[] = {{64 << 10, 0, 64 << 10}, {64 << 10, 60 << 10, 4 << 10}, {4096, 4096, 512}};
  for (const Case& c : cases) {
    auto g = MakeJobGeometry({.rangeLenMB = 1, .accessSize = c.size, .accessSpan = c.span});
    ASSERT_TRUE(g);
    Generator gen(5);
    for (int i = 0; i < 500; ++i) {
      const uint32_t size = NextRequestSize(*g, gen);
      ASSERT_GE(size, c.low) << c.size << "/" << c.span;
      ASSERT_LE(size, c.size);
      ASSERT_EQ(size % 512, 0u);
    }
  }
}

}  // namespace
}  // namespace kestrune::workloads
