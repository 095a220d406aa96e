#include "devcmd/vendor_layouts.h"

#include <cstring>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"

namespace kestrune::devcmd {
namespace {

constexpr DriveSize kBad{base::code::kInvalidData, 0};
constexpr uint64_t RoundUp(uint64_t n) { return (n + kVendorBlock - 1) / kVendorBlock * kVendorBlock; }

}  // namespace

bool HasDumpHeader(std::span<const uint8_t> block) {
  return block.size() >= kVendorBlock && base::GetLe32(&block[kDumpHeaderAt]) == kDumpSignature;
}

DriveSize CrashDumpLength(std::span<const uint8_t> block) {
  if (!HasDumpHeader(block)) return kBad;
  const uint32_t sections = base::GetLe32(&block[kDumpHeaderAt + 4]);
  if (sections == 0 || sections > kMaxDumpSections) return kBad;
  uint64_t length = uint64_t{sections} * kVendorBlock;
  for (uint32_t i = 0; i < sections; ++i) length += RoundUp(base::GetLe32(&block[kDumpHeaderAt + 8 + 4 * i]));
  if (length > kMaxVendorDumpBytes) return kBad;
  return {1, length};
}

DriveSize CriticalLogLength(std::span<const uint8_t> page) {
  if (page.size() < kVendorBlock || std::memcmp(page.data(), "CLOG", 4) != 0) return kBad;
  const uint64_t length = base::GetLe64(&page[kCriticalLengthAt]);
  if (length < kVendorBlock || length > kMaxVendorDumpBytes) return kBad;
  return {1, length};
}

int32_t CriticalLogEntries(std::span<const uint8_t> log, std::vector<CriticalEntry>& entries) {
  entries.clear();
  if (log.size() < kVendorBlock) return base::code::kInvalidData;
  const uint64_t count = base::GetLe32(&log[kCriticalCountAt]);
  if (kCriticalEntriesAt + count * kCriticalEntry > log.size()) return base::code::kInvalidData;
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* e = &log[kCriticalEntriesAt + i * kCriticalEntry];
    entries.push_back({base::GetLe64(e), base::GetLe32(e + 8), base::GetLe32(e + 12)});
  }
  return 1;
}

int32_t GrownDefects(std::span<const uint8_t> page, std::vector<GrownDefect>& defects) {
  defects.clear();
  if (page.size() < kVendorBlock || page[0] != 0x5A) return base::code::kInvalidData;
  const size_t count = base::GetLe16(&page[kDefectCountAt]);
  if (count > kMaxDefects) return base::code::kInvalidData;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = &page[kDefectEntriesAt + i * kDefectEntry];
    defects.push_back({e[0], e[1], e[2], e[3], base::GetLe16(e + 4)});
  }
  return 1;
}

std::string FirmwareBaseText(uint8_t base) {
  static constexpr const char* kNames[] = {"Programmer", "RDT", "FTK"};
  return base::Format("0x%02X  |  %s", base, base >= 1 && base <= 3 ? kNames[base - 1] : "Unknown");
}

std::string DefectLine(const GrownDefect& d) {
  return base::Format("CH %u  CE %u  LUN %u  Plane %u  Block %u", d.channel, d.ce, d.lun, d.plane, d.block);
}

}  // namespace kestrune::devcmd
