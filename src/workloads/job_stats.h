// Throughput figures of a job: per-sample rates from byte counts, and the per-cycle summary. All
// sums and rates are 64-bit, so that fast drives and long cycles do not overflow.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kestrune::workloads {

// The most samples one cycle may take; the next one ends the job with TooManyPoints.
inline constexpr uint64_t kMaxSamplesPerCycle = 262143;

// KiB per second of bytes moved in elapsedMs: bytes x 1000 / (elapsedMs x 1024); 0 when no time passed.
uint64_t KiBPerSecond(uint64_t bytes, uint64_t elapsedMs);
// Requests per second from a rate in KiB/s: kibps x 1024 / accessSize; 0 for an accessSize of 0.
uint64_t IoPerSecond(uint64_t kibps, uint32_t accessSize);
// Whole percent of part in whole, at most 100; 0 when whole is 0.
uint32_t PercentOf(uint64_t part, uint64_t whole);

// The byte counters of a job at one moment.
struct ByteCounters {
  uint64_t writeBytes = 0;
  uint64_t readBytes = 0;
  uint64_t cycleBytes = 0;
  uint64_t jobBytes = 0;
};

// One sample interval of a cycle.
struct SamplePoint {
  uint64_t cycleMs = 0;  // since the cycle's start signal
  uint64_t jobMs = 0;    // since the job's start
  uint64_t writeKBps = 0;
  uint64_t readKBps = 0;
  uint64_t writeIOps = 0;
  uint64_t readIOps = 0;
  uint64_t cycleBytes = 0;
  uint64_t jobBytes = 0;
  std::array<uint16_t, 9> temperatures{};  // composite, sensors 1 to 8; 0 when not read in this sample
};

// The sample of the interval from previous to now, elapsedMs long.
SamplePoint MakeSample(const ByteCounters& previous, const ByteCounters& now, uint64_t elapsedMs,
                       uint32_t accessSize, uint64_t cycleMs, uint64_t jobMs);

// The figures of one cycle, cleared at each cycle start.
struct JobStats {
  uint64_t maxKBps = 0, avgKBps = 0, minKBps = 0;
  uint64_t maxIOps = 0, avgIOps = 0, minIOps = 0;  // minima are 0 when no sample was taken
  uint64_t sampleCount = 0, sumKBps = 0, sumIOps = 0;
  uint64_t transferMB = 0;  // cycleBytes / 1 MiB at the cycle's end
  uint64_t transferMs = 0;  // from the cycle's start signal to its end
  std::string lastCycleText;
  uint64_t lastOffset = 0;  // the last offset issued
};

// Counts a sample's read + write rates into the maxima, minima and sums.
void AddSample(JobStats& stats, const SamplePoint& sample);

// Closes a cycle: the averages (avgIOps = avgKBps x 1024 / accessSize), transferMB, transferMs and
// "Last Cycle Data, Cycle%d, Process:%d%%" with the cycle number from 1 and the percent done.
void CloseCycle(JobStats& stats, uint32_t accessSize, uint64_t cycleBytes, uint64_t transferMs,
                uint32_t cycle, uint32_t percentDone);

}  // namespace kestrune::workloads
