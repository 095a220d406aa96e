#include "workloads/lba_lines.h"

#include "base/text.h"

namespace kestrune::workloads {

std::string CurrentLbaLine(uint64_t lba) {
  return base::Format("CurrentLBA: 0x%08X%08X", static_cast<uint32_t>(lba >> 32), static_cast<uint32_t>(lba));
}

}  // namespace kestrune::workloads
