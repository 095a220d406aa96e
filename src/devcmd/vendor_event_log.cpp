#include "devcmd/vendor_event_log.h"

#include <algorithm>
#include <cstring>

#include "base/completion_codes.h"
#include "base/bytes.h"
#include "base/text.h"

namespace kestrune::devcmd {
namespace {
constexpr int32_t kBadAnswer = base::code::kInvalidData;
}

bool HasEventLogHeader(std::span<const uint8_t> page) {
  return page.size() >= kVendorBlock && std::memcmp(page.data(), "ELOG", 4) == 0;
}

DriveSize EventLogLength(std::span<const uint8_t> page) {
  if (!HasEventLogHeader(page)) return {kBadAnswer, 0};
  const uint64_t length = base::GetLe64(&page[kEventLengthAt]);
  if (length < kVendorBlock || length % kVendorBlock != 0 || length > kMaxEventLogBytes) return {kBadAnswer, length};
  return {1, length};
}

int32_t EventLogEntries(std::span<const uint8_t> log, std::vector<EventEntry>& entries) {
  entries.clear();
  if (log.size() < kVendorBlock) return kBadAnswer;
  const uint64_t count = base::GetLe32(&log[kEventCountAt]);
  if (count > (log.size() - kEventEntriesAt) / kEventEntry) return kBadAnswer;
  entries.reserve(static_cast<size_t>(count));
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* p = &log[kEventEntriesAt + i * kEventEntry];
    entries.push_back({base::GetLe64(p), base::GetLe16(p + 8), p[10], base::GetLe32(p + 12)});
  }
  return 1;
}

bool EventLogIsZero(std::span<const uint8_t> log) {
  if (log.size() <= kEventEntriesAt || base::GetLe32(&log[kEventCountAt]) == 0) return false;
  return std::all_of(log.begin() + kEventEntriesAt, log.end(), [](uint8_t b) { return b == 0; });
}

std::string EventLine(size_t index, const EventEntry& e) {
  static constexpr const char* kSeverity[] = {"Info", "Warning", "Error"};
  const std::string severity = e.severity < 3 ? kSeverity[e.severity] : base::Format("Sev %u", e.severity);
  return base::Format("[%05zu] PowerOn %10llu s  Event 0x%04X  %-8s Param 0x%08X", index,
                      static_cast<unsigned long long>(e.seconds), e.id, severity.c_str(), e.parameter);
}

}  // namespace kestrune::devcmd
