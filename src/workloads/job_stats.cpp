#include "workloads/job_stats.h"

#include <algorithm>

#include "base/text.h"

namespace kestrune::workloads {

uint64_t KiBPerSecond(uint64_t bytes, uint64_t elapsedMs) {
  if (elapsedMs == 0) return 0;
  return static_cast<uint64_t>(static_cast<unsigned __int128>(bytes) * 1000 / (uint64_t{1024} * elapsedMs));
}

uint64_t IoPerSecond(uint64_t kibps, uint32_t accessSize) {
  return accessSize == 0 ? 0
                         : static_cast<uint64_t>(static_cast<unsigned __int128>(kibps) * 1024 / accessSize);
}

uint32_t PercentOf(uint64_t part, uint64_t whole) {
  if (whole == 0) return 0;
  return static_cast<uint32_t>(
      std::min<unsigned __int128>(static_cast<unsigned __int128>(part) * 100 / whole, 100));
}

SamplePoint MakeSample(const ByteCounters& previous, const ByteCounters& now, uint64_t elapsedMs,
                       uint32_t accessSize, uint64_t cycleMs, uint64_t jobMs) {
  SamplePoint s;
  s.cycleMs = cycleMs;
  s.jobMs = jobMs;
  s.writeKBps = KiBPerSecond(now.writeBytes - previous.writeBytes, elapsedMs);
  s.readKBps = KiBPerSecond(now.readBytes - previous.readBytes, elapsedMs);
  s.writeIOps = IoPerSecond(s.writeKBps, accessSize);
  s.readIOps = IoPerSecond(s.readKBps, accessSize);
  s.cycleBytes = now.cycleBytes;
  s.jobBytes = now.jobBytes;
  return s;
}

void AddSample(JobStats& stats, const SamplePoint& sample) {
  const uint64_t kbps = sample.writeKBps + sample.readKBps;
  const uint64_t iops = sample.writeIOps + sample.readIOps;
  const bool first = stats.sampleCount == 0;
  stats.maxKBps = std::max(stats.maxKBps, kbps);
  stats.maxIOps = std::max(stats.maxIOps, iops);
  stats.minKBps = first ? kbps : std::min(stats.minKBps, kbps);
  stats.minIOps = first ? iops : std::min(stats.minIOps, iops);
  stats.sumKBps += kbps;
  stats.sumIOps += iops;
  ++stats.sampleCount;
}

void CloseCycle(JobStats& stats, uint32_t accessSize, uint64_t cycleBytes, uint64_t transferMs,
                uint32_t cycle, uint32_t percentDone) {
  stats.avgKBps = stats.sampleCount == 0 ? 0 : stats.sumKBps / stats.sampleCount;
  stats.avgIOps = IoPerSecond(stats.avgKBps, accessSize);
  stats.transferMB = cycleBytes >> 20;
  stats.transferMs = transferMs;
  stats.lastCycleText = base::Format("Last Cycle Data, Cycle%u, Process:%u%%", cycle, percentDone);
}

}  // namespace kestrune::workloads
