#include "workloads/throughput_job.h"

#include <gtest/gtest.h>

#include <vector>

#include "workloads/ratio_table.h"

namespace kestrune::workloads {
namespace {

// What one cycle issued.
struct CycleRun {
  JobState end = JobState::Running;
  uint64_t requests = 0;
  uint64_t firstOffset = 0;
};

// Issues as one worker with the job's slots does, slot after slot, until the state leaves Running.
// Requests complete at once; only issuing is followed.
CycleRun IssueCycle(ThroughputJob& job) {
  const JobGeometry& g = job.geometry;
  std::vector<SlotCursor> slots(g.slotCount);
  for (SlotCursor& s : slots) ResetSlot(job, s);
  Generator gen(77);
  TableCursor<uint8_t> placement(RatioTable(kPercentTableSize, g.randomRatio, gen));
  CycleRun run;
  for (size_t slot = 0; job.state.load() == JobState::Running; slot = (slot + 1) % slots.size()) {
    if (run.requests > 10'000'000) {
      ADD_FAILURE() << "the cycle never ends";
      break;
    }
    const uint32_t size = NextRequestSize(g, gen);
    std::optional<uint64_t> offset;
    if (placement.Next())
      offset = NextRandomOffset(g, gen);
    else
      offset = g.perWorker ? TakeSlotOffset(job, slots[slot], size) : TakeSequentialOffset(job, size);
    if (offset) {
      if (run.requests++ == 0) run.firstOffset = *offset;
      CountIssue(job, false, size, *offset);
    }
    RaiseState(job.state, StateAfterIssue(job));
  }
  run.end = job.state.load();
  return run;
}

TEST(ThroughputJob, ACycleEndsWhenItsRangeIsCoveredEvenIfNotAMultipleOfTheRequest) {
  struct Case {
    const char* name;
    JobRequest request;
    JobState end;
    uint64_t requests;
  };
  const Case cases[] = {
      {"a multiple of the request", {.rangeLenMB = 1, .accessSize = 4096}, JobState::CycleDone, 256},
      {"not a multiple: the next request would start past the end",
       {.rangeLenMB = 1, .accessSize = 1536},
       JobState::CycleDone,
       682},
      {"per-worker: when every slot has passed the end",
       {.rangeLenMB = 1, .accessSize = 1536, .queueDepth = 3, .processors = 2, .perWorker = true},
       JobState::CycleDone,
       3 * 682},
      {"random requests: when the cycle's bytes are issued",
       {.rangeLenMB = 1, .accessSize = 1536, .randomRatio = 100},
       JobState::CycleDone,
       683},
      {"the transfer limit comes first",
       {.rangeLenMB = 4, .accessSize = 4096, .limitMB = 1},
       JobState::TransferLimit,
       256},
  };
  for (const Case& c : cases) {
    ThroughputJob job;
    job.geometry = *MakeJobGeometry(c.request);
    ASSERT_TRUE(BeginCycle(job)) << c.name;
    const CycleRun run = IssueCycle(job);
    EXPECT_EQ(run.end, c.end) << c.name;
    EXPECT_EQ(run.requests, c.requests) << c.name;
  }
}

TEST(ThroughputJob, EveryCycleStartsAtTheRangeStartSoACycleLimitEnds) {
  struct Case {
    uint32_t accessSize;
    uint64_t limitMB;  // RangeLenMB x LimitCycle
    uint32_t cycles;
  };
  // 1 MiB of 1536-byte requests moves 682 x 1536 bytes a cycle: a 3 MiB limit needs a fourth cycle.
  const Case cases[] = {{4096, 2, 2}, {1536, 3, 4}};
  for (const Case& c : cases) {
    ThroughputJob job;
    job.geometry =
        *MakeJobGeometry({.lba = 16, .rangeLenMB = 1, .accessSize = c.accessSize, .limitMB = c.limitMB});
    uint32_t cycles = 0;
    while (BeginCycle(job)) {
      ASSERT_LT(++cycles, 10u) << "the limit never ends the job";
      EXPECT_EQ(IssueCycle(job).firstOffset, 16u * 512) << "cycle " << cycles;
    }
    EXPECT_EQ(cycles, c.cycles) << c.accessSize;
    EXPECT_EQ(job.state.load(), JobState::TransferLimit);
    EXPECT_GE(job.jobBytes.load(), job.geometry.limitBytes);
  }
}

TEST(ThroughputJob, SampleRatesAndCycleFiguresStay64Bit) {
  // 40 GB in one second: bytes x 1000 and the sums are far past 32 bits.
  const ByteCounters before{0, 0, 0, 0};
  const ByteCounters after{30'000'000'000ull, 10'000'000'000ull, 40'000'000'000ull, 90'000'000'000ull};
  const SamplePoint s = MakeSample(before, after, 1000, 4096, 1500, 2500);
  EXPECT_EQ(s.writeKBps, 29296875u);
  EXPECT_EQ(s.readKBps, 9765625u);
  EXPECT_EQ(s.writeIOps, 7324218u);
  EXPECT_EQ(s.readIOps, 2441406u);
  EXPECT_EQ(s.jobBytes, 90'000'000'000ull);

  JobStats stats;
  CloseCycle(stats, 4096, 0, 0, 1, 0);
  EXPECT_EQ(stats.minKBps, 0u) << "minima never set are 0";
  EXPECT_EQ(stats.avgKBps, 0u);

  AddSample(stats, s);
  SamplePoint slow;
  slow.readKBps = 1024;
  slow.readIOps = 256;
  AddSample(stats, slow);
  CloseCycle(stats, 4096, 5ull << 30, 2000, 3, 42);
  EXPECT_EQ(stats.maxKBps, 39062500u);
  EXPECT_EQ(stats.minKBps, 1024u);
  EXPECT_EQ(stats.avgKBps, (39062500u + 1024u) / 2);
  EXPECT_EQ(stats.avgIOps, stats.avgKBps / 4);
  EXPECT_EQ(stats.minIOps, 256u);
  EXPECT_EQ(stats.transferMB, 5120u);
  EXPECT_EQ(stats.lastCycleText, "Last Cycle Data, Cycle3, Process:42%");
}

}  // namespace
}  // namespace kestrune::workloads
