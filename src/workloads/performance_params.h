// The parameters of the performance commands: which command drives the throughput engine how, the
// four forms of the access size, the checks in their order, the range clamp and the transfer limit.
// Portable and free of I/O, so that every rule is testable on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "engine/value.h"
#include "workloads/job_geometry.h"

namespace kestrune::workloads {

enum class PerformanceKind { kSeqRead, kSeqWrite, kRandRead, kRandWrite, kMixReadWrite };

// How a command drives the engine: its parameter names in binding order and its fixed ratios.
struct PerformanceCommand {
  PerformanceKind kind;
  std::string_view name;
  uint32_t writeRatio;   // for kMixReadWrite the default of WriteRatio
  uint32_t randomRatio;  // for kMixReadWrite the default of RandRatio
  bool limitByCycles;    // LimitCycle (RangeLenMB x LimitCycle) rather than LimitTxSizeMB
  bool writes;           // takes a WritePattern
  uint32_t defaultRangeMB;
  uint32_t defaultAccessKB;
  std::string_view defaultLimit;  // "1", "CYCLE" or "1024"
};

const PerformanceCommand& CommandOf(PerformanceKind kind);

// A request size and the width of its random range (0 for a fixed size), both in bytes.
struct AccessSize {
  uint32_t size = 0;
  uint32_t span = 0;
};

// The access size from the parameter's name and value: "AccessSector" n sectors, "AccessKBRange" and
// "AccessSectorRange" the text "a~b" (random per request in [a, b) units), any other name n KiB.
// nullopt for a range that is not two numbers with a < b, or a size beyond 32 bits.
std::optional<AccessSize> ParseAccessSize(std::string_view name, const engine::Value& value, uint32_t sectorSize);

// What the handler has bound, before the checks.
struct PerformanceArgs {
  uint32_t writeRatio = 0, randomRatio = 0;
  uint64_t lba = 0;
  uint32_t rangeLenMB = 0;
  std::optional<AccessSize> access;  // nullopt: a malformed access size
  uint32_t queueDepth = 0;
  bool perWorker = false;  // the queue depth was named Worker
  uint32_t pattern = 0;
  std::string limit;  // LimitCycle or LimitTxSizeMB as written ("CYCLE", "2048")
  uint32_t limitTimeSec = 0;
  uint32_t dotPerSec = 1;
  uint32_t getTemperatureSec = 0;
};

// A parameter fault: the completion code and its detail.
struct ParameterFault {
  int32_t code = 0;
  std::string detail;
};

// The job to run: the engine's request and the figures around it.
struct PerformancePlan {
  JobRequest request;  // processors is the engine's to fill
  uint32_t pattern = 0;
  uint32_t limitTimeSec = 0;
  uint32_t dotPerSec = 1;
  uint32_t getTemperatureSec = 0;
};

// Checks args in order (access size 0 or malformed, QD 0, DotPerSec outside 1 to 1000, ratios above 100:
// kBadParameter with an empty detail; an access size off the sector size: "AccessKB must base on
// SectorSize"; an LBA at or past the capacity: kBadParameter), clamps the range to the capacity
// (RangeLenMB 0 or past the end: the whole MiB up to the end) and resolves the limit ("CYCLE" is
// the clamped range; LimitCycle counts ranges).
std::variant<PerformancePlan, ParameterFault> PlanPerformance(const PerformanceCommand& command,
                                                              const PerformanceArgs& args, uint32_t sectorSize,
                                                              uint64_t capacityBytes);

// Performance_VideoStream, bound.
struct StreamArgs {
  uint64_t lba = 0;
  uint32_t rangeLenMB = 0;
  std::optional<AccessSize> access;
  uint32_t pattern = 0;
  bool frameHead = true;
  uint32_t limitCycle = 1;
  uint32_t limitTimeSec = 0;
  uint32_t framePerDot = 20;
};

struct StreamPlan {
  uint64_t startOffset = 0;
  uint32_t rangeLenMB = 0;  // the frame region, after the clamp
  AccessSize access;
};

// The stream's checks (access size 0 or malformed, FramePerDot 0, an LBA at or past the capacity:
// kBadParameter; an access size off the sector size: "AccessKB must base on SectorSize") and its clamp:
// RangeLenMB 0, or a stream that would run past the end, becomes what fits after the LBA, one frame
// and, with FrameHead, the 5 MiB of head areas; under 100 MiB: "Stream Size must > 100 MB".
std::variant<StreamPlan, ParameterFault> PlanVideoStream(const StreamArgs& args, uint32_t sectorSize,
                                                         uint64_t capacityBytes);

}  // namespace kestrune::workloads
