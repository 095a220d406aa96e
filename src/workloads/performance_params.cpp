#include "workloads/performance_params.h"

#include <charconv>

#include "base/completion_codes.h"
#include "base/text.h"
#include "workloads/byte_range.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr PerformanceCommand kCommands[] = {
    {PerformanceKind::kSeqRead, "Performance_SeqRead", 0, 0, true, false, 4096, 128, "1"},
    {PerformanceKind::kSeqWrite, "Performance_SeqWrite", 100, 0, true, true, 4096, 128, "1"},
    {PerformanceKind::kRandRead, "Performance_RandRead", 0, 100, false, false, 0, 4, "CYCLE"},
    {PerformanceKind::kRandWrite, "Performance_RandWrite", 100, 100, false, true, 4096, 4, "CYCLE"},
    {PerformanceKind::kMixReadWrite, "Performance_MixReadWrite", 25, 50, false, true, 4096, 4, "1024"},
};

// The head areas before a stream's frames, and the smallest stream.
constexpr uint64_t kStreamHeadBytes = 5 * kMiB;
constexpr uint64_t kMinStreamMB = 100;

std::optional<uint64_t> WholeNumber(std::string_view text) {
  text = base::Trim(text);
  uint64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return v;
}

std::optional<uint32_t> Bytes(uint64_t units, uint32_t unitBytes) {
  const uint64_t bytes = units * unitBytes;
  if (units > UINT32_MAX || bytes > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(bytes);
}

ParameterFault Fault(int32_t c, std::string detail = {}) { return ParameterFault{c, std::move(detail)}; }

}  // namespace

const PerformanceCommand& CommandOf(PerformanceKind kind) {
  for (const PerformanceCommand& c : kCommands)
    if (c.kind == kind) return c;
  return kCommands[0];
}

std::optional<AccessSize> ParseAccessSize(std::string_view name, const engine::Value& value, uint32_t sectorSize) {
  const bool sectors = base::EqualsNoCase(name, "AccessSector") || base::EqualsNoCase(name, "AccessSectorRange");
  const uint32_t unit = sectors ? sectorSize : 1024;
  const bool range = base::EqualsNoCase(name, "AccessKBRange") || base::EqualsNoCase(name, "AccessSectorRange");
  if (!range) {
    if (value.type == engine::ValueType::kText) {
      std::optional<uint64_t> n = WholeNumber(value.text);
      if (!n) return std::nullopt;
      std::optional<uint32_t> b = Bytes(*n, unit);
      return b ? std::optional<AccessSize>(AccessSize{*b, 0}) : std::nullopt;
    }
    if (value.number < 0) return std::nullopt;
    std::optional<uint32_t> b = Bytes(static_cast<uint64_t>(value.number), unit);
    return b ? std::optional<AccessSize>(AccessSize{*b, 0}) : std::nullopt;
  }
  const std::string_view text = value.text;
  const size_t tilde = text.find('~');
  if (value.type != engine::ValueType::kText || tilde == std::string_view::npos) return std::nullopt;
  std::optional<uint64_t> a = WholeNumber(text.substr(0, tilde)), b = WholeNumber(text.substr(tilde + 1));
  if (!a || !b || *a >= *b) return std::nullopt;
  std::optional<uint32_t> low = Bytes(*a, unit), high = Bytes(*b, unit);
  if (!low || !high) return std::nullopt;
  return AccessSize{*high, *high - *low};
}

std::variant<PerformancePlan, ParameterFault> PlanPerformance(const PerformanceCommand& command,
                                                              const PerformanceArgs& args, uint32_t sectorSize,
                                                              uint64_t capacityBytes) {
  if (!args.access || args.access->size == 0 || args.queueDepth == 0 || args.dotPerSec < 1 ||
      args.dotPerSec > 1000)
    return Fault(code::kBadParameter);
  if (command.kind == PerformanceKind::kMixReadWrite && (args.writeRatio > 100 || args.randomRatio > 100))
    return Fault(code::kBadParameter);
  if (sectorSize == 0 || args.access->size % sectorSize != 0)
    return Fault(code::kBadParameter, "AccessKB must base on SectorSize");

  uint64_t start = 0;
  if (__builtin_mul_overflow(args.lba, uint64_t{sectorSize}, &start) || start >= capacityBytes)
    return Fault(code::kBadParameter);
  uint64_t rangeMB = args.rangeLenMB;
  if (rangeMB == 0 || rangeMB * kMiB > capacityBytes - start) rangeMB = (capacityBytes - start) / kMiB;

  uint64_t limitMB = 0;
  const std::optional<uint64_t> limit = WholeNumber(args.limit);
  if (command.limitByCycles) {
    if (!limit) return Fault(code::kBadParameter);
    limitMB = rangeMB * *limit;
  } else if (base::ContainsNoCase(args.limit, "CYCLE")) {
    limitMB = rangeMB;
  } else {
    if (!limit) return Fault(code::kBadParameter);
    limitMB = *limit;
  }

  PerformancePlan plan;
  JobRequest& r = plan.request;
  r.lba = args.lba;
  r.rangeLenMB = static_cast<uint32_t>(std::min<uint64_t>(rangeMB, UINT32_MAX));
  r.sectorSize = sectorSize;
  r.accessSize = args.access->size;
  r.accessSpan = args.access->span;
  r.queueDepth = args.queueDepth;
  r.writeRatio = command.kind == PerformanceKind::kMixReadWrite ? args.writeRatio : command.writeRatio;
  r.randomRatio = command.kind == PerformanceKind::kMixReadWrite ? args.randomRatio : command.randomRatio;
  r.limitMB = limitMB;
  r.perWorker = args.perWorker && command.limitByCycles;
  plan.pattern = command.writes ? args.pattern : 0;
  plan.limitTimeSec = args.limitTimeSec;
  plan.dotPerSec = args.dotPerSec;
  plan.getTemperatureSec = args.getTemperatureSec;
  return plan;
}

std::variant<StreamPlan, ParameterFault> PlanVideoStream(const StreamArgs& args, uint32_t sectorSize,
                                                         uint64_t capacityBytes) {
  if (!args.access || args.access->size == 0 || args.framePerDot == 0) return Fault(code::kBadParameter);
  if (sectorSize == 0 || args.access->size % sectorSize != 0)
    return Fault(code::kBadParameter, "AccessKB must base on SectorSize");
  uint64_t start = 0;
  if (__builtin_mul_overflow(args.lba, uint64_t{sectorSize}, &start) || start >= capacityBytes)
    return Fault(code::kBadParameter);
  // Bytes the stream may use after the LBA: its frames would otherwise run past the end.
  const uint64_t reserved = uint64_t{args.access->size} + (args.frameHead ? kStreamHeadBytes : 0);
  const uint64_t room = capacityBytes - start > reserved ? capacityBytes - start - reserved : 0;
  uint64_t rangeMB = args.rangeLenMB;
  if (rangeMB == 0 || rangeMB * kMiB > room) rangeMB = room / kMiB;
  if (rangeMB < kMinStreamMB) return Fault(code::kBadParameter, "Stream Size must > 100 MB");
  StreamPlan plan;
  plan.startOffset = start;
  plan.rangeLenMB = static_cast<uint32_t>(std::min<uint64_t>(rangeMB, UINT32_MAX));
  plan.access = *args.access;
  return plan;
}

}  // namespace kestrune::workloads
