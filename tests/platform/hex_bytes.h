// Golden bytes written as hex text ("38 00 06 40"), blanks and line breaks ignored.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrune::testing {

inline std::vector<uint8_t> Hex(std::string_view text) {
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : text) {
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                   : -1;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

// bytes with golden at the start and zeros after it, total bytes long.
inline std::vector<uint8_t> HexPadded(std::string_view text, size_t total) {
  std::vector<uint8_t> out = Hex(text);
  out.resize(total, 0);
  return out;
}

}  // namespace kestrune::testing
