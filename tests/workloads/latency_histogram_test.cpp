#include "workloads/latency_histogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "workloads/random_source.h"

namespace kestrune::workloads {
namespace {

// The exact latency at a share in 1/100,000: the rank-th smallest, rank = ceil(count x share).
uint64_t ExactPercentile(std::vector<uint64_t> values, uint32_t per100k) {
  std::sort(values.begin(), values.end());
  const uint64_t rank = std::max<uint64_t>((values.size() * per100k + 99999) / 100000, 1);
  return values[rank - 1];
}

std::vector<uint64_t> Spread(uint32_t count, uint64_t low, double decades, uint32_t seed) {
  Generator g(seed);
  std::vector<uint64_t> v;
  for (uint32_t i = 0; i < count; ++i)
    v.push_back(
        static_cast<uint64_t>(static_cast<double>(low) * std::pow(10.0, decades * g.Below(1000000) / 1e6)));
  return v;
}

TEST(LatencyHistogram, PercentilesLieWithinOnePercentOfTheExactOnes) {
  struct Case {
    const char* name;
    std::vector<uint64_t> values;
  };
  std::vector<uint64_t> oneToThousand;
  for (uint64_t v = 1; v <= 1000; ++v) oneToThousand.push_back(v);
  const Case cases[] = {
      {"one value", {12345}},
      {"three values", {7, 300000, 20}},
      {"a constant", std::vector<uint64_t>(5000, 999999)},
      {"1 to 1000", oneToThousand},
      {"ns latencies over six decades", Spread(200000, 1000, 6, 1)},
      {"a tail past 2^50", Spread(50000, 1u << 20, 9.5, 2)},
  };
  for (const Case& c : cases) {
    LatencyHistogram h;
    for (uint64_t v : c.values) h.Record(v);
    ASSERT_EQ(h.count(), c.values.size());
    EXPECT_EQ(h.max(), *std::max_element(c.values.begin(), c.values.end())) << c.name;
    for (uint32_t p : {50000u, 99000u, 99900u, 99990u, 100000u}) {
      const double exact = static_cast<double>(ExactPercentile(c.values, p));
      const double got = static_cast<double>(h.AtPercentile(p));
      EXPECT_LE(std::abs(got - exact), exact * 0.01)
          << c.name << " p" << p / 1000.0 << ": " << got << " vs " << exact;
    }
  }
}

TEST(LatencyHistogram, MergedHistogramsAnswerLikeOne) {
  const auto values = Spread(10000, 5000, 4, 3);
  LatencyHistogram whole, a, b;
  for (size_t i = 0; i < values.size(); ++i) {
    whole.Record(values[i]);
    (i % 3 ? a : b).Record(values[i]);
  }
  a.Merge(b);
  EXPECT_EQ(a.count(), whole.count());
  for (uint32_t p : {50000u, 99000u, 99990u}) EXPECT_EQ(a.AtPercentile(p), whole.AtPercentile(p));
  EXPECT_EQ(a.max(), whole.max());
}

TEST(LatencyHistogram, SummaryLinesInMicrosecondsWithTwoDecimals) {
  LatencyHistogram none;
  EXPECT_EQ(ReadLatencyLine(none, 1000000), "Read Latency(us)  : 0.00|0.00|0.00|0.00|0.00");

  LatencyHistogram us;  // microsecond ticks: 1 to 100 us
  for (uint64_t v = 1; v <= 100; ++v) us.Record(v);
  EXPECT_EQ(WriteLatencyLine(us, 1000000), "Write Latency(us) : 50.00|99.00|100.00|100.00|100.00");

  LatencyHistogram ns;  // nanosecond ticks: the maximum is exact, the rest within the resolution
  ns.Record(1234567);
  for (int i = 0; i < 9999; ++i) ns.Record(180);
  EXPECT_EQ(LatencyFields(ns, 1000000000), "0.18|0.18|0.18|0.18|1234.57");
}

}  // namespace
}  // namespace kestrune::workloads
