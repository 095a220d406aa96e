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

namespace {

// True when needle occurs in hay. The search strings of FindLBA_ByPattern are 4 or 8 bytes: those
// are matched as a window of the last bytes read, one step per byte of the disk, because a search
// reads the whole disk.
bool Holds(std::span<const uint8_t> hay, std::span<const uint8_t> needle) {
  const size_t m = needle.size();
  if (hay.size() < m) return false;
  if (m > sizeof(uint64_t)) return !std::ranges::search(hay, needle).empty();
  uint64_t want = 0;
  for (uint8_t b : needle) want = want << 8 | b;
  const uint64_t mask = m == sizeof(uint64_t) ? ~uint64_t{0} : (uint64_t{1} << (8 * m)) - 1;
  const uint8_t* p = hay.data();
  uint64_t window = 0;
  for (size_t i = 0; i < m - 1; ++i) window = window << 8 | p[i];
  for (size_t i = m - 1; i < hay.size(); ++i) {
    window = window << 8 | p[i];
    if ((window & mask) == want) return true;
  }
  return false;
}

}  // namespace

std::vector<uint32_t> SectorsHolding(std::span<const uint8_t> data, uint32_t sectorSize,
                                     std::span<const uint8_t> needle) {
  std::vector<uint32_t> hits;
  if (needle.empty() || sectorSize == 0) return hits;
  for (size_t at = 0, index = 0; at < data.size(); at += sectorSize, ++index) {
    const auto sector = data.subspan(at, std::min<size_t>(sectorSize, data.size() - at));
    if (Holds(sector, needle)) hits.push_back(static_cast<uint32_t>(index));
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
