#include "workloads/worker_split.h"

#include <gtest/gtest.h>

#include "workloads/latency_buckets.h"
#include "workloads/throughput_job.h"

namespace kestrune::workloads {
namespace {

TEST(SlotsPerWorker, OneWorkerPerProcessorOrPerSlotWithTheRemainderFirst) {
  struct Case {
    uint32_t processors, queueDepth;
    std::vector<uint32_t> slots;
  };
  const Case cases[] = {
      {16, 1, {1}},         {2, 1, {1}},          {16, 40, {3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2}},
      {8, 3, {1, 1, 1}},    {4, 4, {1, 1, 1, 1}}, {2, 33, {17, 16}},
      {2, 300, {128, 128}}, {0, 0, {1}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SlotsPerWorker(c.processors, c.queueDepth), c.slots)
        << c.processors << " x QD " << c.queueDepth;
}

TEST(LatencyBuckets, ALatencyGoesToTheFirstBucketWhoseBoundIsGreater) {
  struct Case {
    uint64_t frequency, ticks;
    size_t bucket;
  };
  const Case cases[] = {
      {1000000, 0, 0},
      {1000000, 49, 0},
      {1000000, 50, 1},
      {1000000, 99, 1},
      {1000000, 100, 2},
      {1000000, 499, 3},
      {1000000, 500, 4},
      {1000000, 14999, 8},
      {1000000, 15000, 9},
      {1000000, 999999, 15},
      {1000000, 1000000, 16},
      {1000000, UINT64_MAX, 16},
      {3000000000, 149999, 0},
      {3000000000, 150000, 1},
      {3000000000, 2999999999, 15},
      {3000000000, 3000000000, 16},
  };
  for (const Case& c : cases) {
    ThroughputJob job;
    job.bucketLimits = MakeBucketLimits(c.frequency);
    CountCompletion(job, c.ticks);
    for (size_t b = 0; b < kLatencyBucketCount; ++b)
      EXPECT_EQ(job.buckets.count[b].load(), b == c.bucket ? 1u : 0u)
          << c.ticks << " ticks at " << c.frequency << " Hz, bucket " << b;
  }
}

}  // namespace
}  // namespace kestrune::workloads
