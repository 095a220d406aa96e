// The JSON record of a performance job ("%s.json" beside its CSV): what was asked, on which target,
// what every cycle moved, the latency buckets and percentiles, and how the job ended. Numbers are
// JSON numbers; the keys are listed in README.md.
#pragma once

#include <string>
#include <vector>

#include "workloads/performance_params.h"
#include "workloads/throughput_engine.h"

namespace kestrune::workloads {

struct JobTarget {
  std::string path;  // what the queues opened: the device, or the test file
  std::string mode;  // "raw", "partition" or "whole disk"
  std::string model;
  uint32_t sectorSize = 0;
  uint64_t capacityBytes = 0;
};

struct JobRecord {
  std::string command;
  PerformancePlan plan;
  JobTarget target;
  std::vector<CycleRecord> cycles;  // their samples are not written
  const ThroughputOutcome* outcome = nullptr;
};

// The record as indented JSON text.
std::string JobRecordJson(const JobRecord& record);

}  // namespace kestrune::workloads
