// The line that names the failing sector after a workload command ends with an error.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune::workloads {

// COLORREF of the "CurrentLBA" line (yellow).
inline constexpr uint32_t kCurrentLbaColour = 0x00FFFF;

// "CurrentLBA: 0x%08X%08X": the LBA as its high and low 32-bit halves.
std::string CurrentLbaLine(uint64_t lba);

}  // namespace kestrune::workloads
