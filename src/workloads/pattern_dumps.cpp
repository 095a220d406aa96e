#include "workloads/pattern_dumps.h"

#include <algorithm>

#include "base/text.h"

namespace kestrune::workloads {

std::string DumpName(std::string_view baseName, DumpKind kind) {
  std::string name(baseName);
  switch (kind) {
    case DumpKind::Expected:
      return name + "_Pattern.Hex";
    case DumpKind::FirstRead:
      return name + "_Read1.Hex";
    case DumpKind::SecondRead:
      return name + "_Read2.Hex";
    case DumpKind::Found:
      return name + ".hex";
  }
  return name;
}

std::string FoundDumpName(std::string_view baseName, uint64_t lba) {
  return std::string(baseName) + base::Format("_0x%llX", static_cast<unsigned long long>(lba)) + ".hex";
}

std::span<const uint8_t> SectorOf(std::span<const uint8_t> data, size_t index, uint32_t sectorSize) {
  const size_t at = std::min(data.size(), index * sectorSize);
  return data.subspan(at, std::min<size_t>(sectorSize, data.size() - at));
}

}  // namespace kestrune::workloads
