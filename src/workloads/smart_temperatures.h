// The temperatures an NVMe SMART / Health Information log page (log identifier 02h, 512 bytes)
// reports, in kelvin as the drive gives them: the composite temperature (bytes 1-2) and the eight
// temperature sensors (bytes 200-215), little-endian 16-bit values; 0 means "not reported".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrune::workloads {

inline constexpr uint8_t kSmartLogId = 0x02;
inline constexpr size_t kSmartLogBytes = 512;

// Index 0 the composite temperature, index n sensor n. Bytes past the end of page read as 0.
std::array<uint16_t, 9> SmartTemperatures(std::span<const uint8_t> page);

}  // namespace kestrune::workloads
