// The two CRCs of firmware images and configuration blocks: CRC-32 (IEEE 802.3, zlib's) and
// CRC-32C (Castagnoli). Both reflected, initial value and final XOR all ones.
#pragma once

#include <cstdint>
#include <span>

namespace kestrune::base {

uint32_t Crc32(std::span<const uint8_t> data);
uint32_t Crc32c(std::span<const uint8_t> data);

}  // namespace kestrune::base
