#include "base/crc.h"

#include <algorithm>

#include <zlib.h>

#include <array>

namespace kestrune::base {
namespace {

constexpr uint32_t kCastagnoliReflected = 0x82F63B78;

constexpr std::array<uint32_t, 256> CastagnoliTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? (c >> 1) ^ kCastagnoliReflected : c >> 1;
    t[i] = c;
  }
  return t;
}

constexpr std::array<uint32_t, 256> kCastagnoli = CastagnoliTable();

}  // namespace

uint32_t Crc32(std::span<const uint8_t> data) {
  uLong crc = crc32(0, Z_NULL, 0);
  // zlib takes at most uInt bytes a call.
  constexpr size_t kStep = size_t{1} << 30;
  for (size_t at = 0; at < data.size(); at += kStep) {
    const size_t n = std::min(kStep, data.size() - at);
    crc = crc32(crc, data.data() + at, static_cast<uInt>(n));
  }
  return static_cast<uint32_t>(crc);
}

uint32_t Crc32c(std::span<const uint8_t> data) {
  uint32_t c = 0xFFFFFFFF;
  for (uint8_t b : data) c = kCastagnoli[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFF;
}

}  // namespace kestrune::base
