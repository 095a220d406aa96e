#include "workloads/random_source.h"

#include <gtest/gtest.h>

#include <array>

#include "support/fake_host.h"

namespace kestrune::workloads {
namespace {

TEST(RandomBlock, OneDrawUnderTwoTo32BlocksTwoFromThereAndEveryPartOfTheRangeReached) {
  struct Case {
    uint64_t blocks;
    uint32_t draws;
  };
  const Case cases[] = {{1000, 1},       {1u << 20, 1},       {0xFFFFFFFFull, 1}, {1ull << 32, 2},
                        {1ull << 33, 2}, {0x300000007ull, 2}, {1ull << 40, 2},    {UINT64_MAX, 2}};
  for (const Case& c : cases) {
    Generator g(12345), reference(12345);
    bool odd = false, even = false, lowHalf = false, highHalf = false;
    for (int i = 0; i < 4000; ++i) {
      const uint64_t v = RandomBlock(g, c.blocks);
      for (uint32_t d = 0; d < c.draws; ++d) reference.Next();
      ASSERT_EQ(g.state(), reference.state()) << c.blocks << " takes " << c.draws << " draws";
      ASSERT_LT(v, c.blocks);
      (v % 2 ? odd : even) = true;
      (v < c.blocks / 2 ? lowHalf : highHalf) = true;
    }
    EXPECT_TRUE(odd && even && lowHalf && highHalf) << c.blocks;
  }
  Generator g;
  EXPECT_EQ(RandomBlock(g, 0), 0u);
}

TEST(WorkerSeed, TakesFourCryptographicBytesAndFallsBackToTicksPerWorker) {
  testing::FakeHost host;
  host.randomSeed = 99;
  testing::FakeHost reference;
  reference.randomSeed = 99;
  std::array<uint8_t, 4> b{};
  ASSERT_TRUE(reference.RandomBytes(b));
  EXPECT_EQ(WorkerSeed(host, 0), b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);

  host.failRandom = true;
  host.monotonic = 5000;
  EXPECT_NE(WorkerSeed(host, 0), WorkerSeed(host, 1)) << "workers started in the same tick still differ";
}

}  // namespace
}  // namespace kestrune::workloads
