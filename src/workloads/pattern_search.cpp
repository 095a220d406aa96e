#include "workloads/pattern_search.h"

#include <algorithm>

#include "base/text.h"

namespace kestrune::workloads {

std::vector<uint8_t> SearchString(uint64_t findPattern) {
  const int bytes = findPattern <= 0xFFFFFFFEull ? 4 : 8;
  std::vector<uint8_t> s(bytes);
  for (int i = 0; i < bytes; ++i) s[i] = static_cast<uint8_t>(findPattern >> (8 * (bytes - 1 - i)));
  return s;
}

std::vector<uint32_t> SectorsHolding(std::span<const uint8_t> data, uint32_t sectorSize,
                                     std::span<const uint8_t> needle) {
  std::vector<uint32_t> hits;
  if (needle.empty() || sectorSize == 0) return hits;
  for (size_t at = 0, index = 0; at < data.size(); at += sectorSize, ++index) {
    const auto sector = data.subspan(at, std::min<size_t>(sectorSize, data.size() - at));
    if (!std::ranges::search(sector, needle).empty()) hits.push_back(static_cast<uint32_t>(index));
  }
  return hits;
}

std::string SearchByteListLine(std::span<const uint8_t> needle) {
  std::string line = "Search Pattern Byte List: ";
  for (uint8_t b : needle) line += base::Format("%02X ", b);
  return line;
}

std::string FoundLbaLine(uint32_t hit, uint64_t lba) {
  return base::Format("[%u] Finound LBA : 0x%llX", hit, static_cast<unsigned long long>(lba));
}

std::string CancelLbaLine(uint64_t lba) {
  return base::Format("Cancel LBA : 0x%llX", static_cast<unsigned long long>(lba));
}

std::string SearchProgressText(uint32_t percent) { return base::Format("Progress : %u%%", percent); }

}  // namespace kestrune::workloads
