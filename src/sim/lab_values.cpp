#include "sim/lab_values.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "base/text.h"

namespace kestrune::sim {
namespace {

// The leading decimal digits of text as a number; nullopt without digits or on overflow.
std::optional<uint64_t> LeadingDecimal(std::string_view text, size_t& used) {
  uint64_t value = 0;
  used = 0;
  while (used < text.size() && text[used] >= '0' && text[used] <= '9') {
    uint64_t digit = static_cast<uint64_t>(text[used] - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
    ++used;
  }
  if (used == 0) return std::nullopt;
  return value;
}

std::optional<uint64_t> WholeDecimal(std::string_view text) {
  size_t used = 0;
  auto v = LeadingDecimal(text, used);
  if (!v || used != text.size()) return std::nullopt;
  return v;
}

constexpr std::array<uint32_t, 6> kLinkSpeedTenths = {25, 50, 80, 160, 320, 640};
constexpr std::array<uint32_t, 7> kLinkWidths = {1, 2, 4, 8, 12, 16, 32};

}  // namespace

bool IsLinkSpeedTenths(uint32_t tenths) {
  return std::find(kLinkSpeedTenths.begin(), kLinkSpeedTenths.end(), tenths) != kLinkSpeedTenths.end();
}

bool IsLinkWidth(uint32_t lanes) {
  return std::find(kLinkWidths.begin(), kLinkWidths.end(), lanes) != kLinkWidths.end();
}

std::optional<uint32_t> ParseLinkSpeed(std::string_view text) {
  text = base::Trim(text);
  if (text.size() >= 4 && base::EqualsNoCase(text.substr(text.size() - 4), "GT/s"))
    text = base::Trim(text.substr(0, text.size() - 4));
  size_t used = 0;
  auto whole = LeadingDecimal(text, used);
  if (!whole || *whole > 64) return std::nullopt;
  uint64_t tenths = *whole * 10;
  if (used < text.size()) {
    if (text[used] != '.' || used + 2 != text.size() || text[used + 1] < '0' || text[used + 1] > '9')
      return std::nullopt;
    tenths += static_cast<uint64_t>(text[used + 1] - '0');
  }
  if (!IsLinkSpeedTenths(static_cast<uint32_t>(tenths))) return std::nullopt;
  return static_cast<uint32_t>(tenths);
}

std::optional<uint32_t> ParseLinkWidth(std::string_view text) {
  auto lanes = WholeDecimal(base::Trim(text));
  if (!lanes || *lanes > 32 || !IsLinkWidth(static_cast<uint32_t>(*lanes))) return std::nullopt;
  return static_cast<uint32_t>(*lanes);
}

std::optional<uint64_t> ParseSize(std::string_view text) {
  text = base::Trim(text);
  size_t used = 0;
  auto value = LeadingDecimal(text, used);
  if (!value) return std::nullopt;
  std::string_view unit = base::Trim(text.substr(used));
  if (unit.empty()) return value;
  static constexpr std::array<std::pair<std::string_view, uint64_t>, 8> kUnits{{
      {"KiB", uint64_t{1} << 10},
      {"MiB", uint64_t{1} << 20},
      {"GiB", uint64_t{1} << 30},
      {"TiB", uint64_t{1} << 40},
      {"KB", 1000},
      {"MB", 1000 * 1000},
      {"GB", 1000 * 1000 * 1000},
      {"TB", uint64_t{1000} * 1000 * 1000 * 1000},
  }};
  for (const auto& [name, factor] : kUnits) {
    if (!base::EqualsNoCase(unit, name)) continue;
    if (*value > std::numeric_limits<uint64_t>::max() / factor) return std::nullopt;
    return *value * factor;
  }
  return std::nullopt;
}

std::optional<uint64_t> ParseNumber(std::string_view text) {
  text = base::Trim(text);
  if (base::StartsWithNoCase(text, "0x")) {
    std::string_view hex = text.substr(2);
    if (hex.empty() || hex.size() > 16) return std::nullopt;
    uint64_t value = 0;
    for (char c : hex) {
      int digit = (c >= '0' && c <= '9')   ? c - '0'
                  : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                  : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                           : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<uint64_t>(digit);
    }
    return value;
  }
  return WholeDecimal(text);
}

std::optional<bool> ParseSwitch(std::string_view text) {
  text = base::Trim(text);
  for (std::string_view yes : {"1", "yes", "true", "on"}) {
    if (base::EqualsNoCase(text, yes)) return true;
  }
  for (std::string_view no : {"0", "no", "false", "off"}) {
    if (base::EqualsNoCase(text, no)) return false;
  }
  return std::nullopt;
}

std::optional<char> ParseDriveLetter(std::string_view text) {
  text = base::Trim(text);
  if (text.size() == 2 && text[1] == ':') text = text.substr(0, 1);
  if (text.size() != 1) return std::nullopt;
  char c = base::ToUpperAscii(text[0]);
  if (c < 'A' || c > 'Z') return std::nullopt;
  return c;
}

std::optional<std::array<uint32_t, 3>> ParsePciLocation(std::string_view text) {
  text = base::Trim(text);
  if (!text.empty() && text.front() == '(') {
    if (text.back() != ')') return std::nullopt;
    text = text.substr(1, text.size() - 2);
  }
  std::vector<std::string_view> parts = SplitList(text);
  if (parts.size() != 3) return std::nullopt;
  std::array<uint32_t, 3> out{};
  for (size_t i = 0; i < 3; ++i) {
    auto v = WholeDecimal(parts[i]);
    if (!v || *v > 0xFFFF) return std::nullopt;
    out[i] = static_cast<uint32_t>(*v);
  }
  return out;
}

std::optional<std::vector<uint32_t>> ParseUsbChain(std::string_view text) {
  std::vector<std::string_view> parts = SplitList(base::Trim(text), '-');
  if (parts.size() < 2) return std::nullopt;
  std::vector<uint32_t> out;
  for (std::string_view p : parts) {
    auto v = WholeDecimal(p);
    if (!v || *v > 0xFFFF) return std::nullopt;
    out.push_back(static_cast<uint32_t>(*v));
  }
  return out;
}

std::vector<std::string_view> SplitList(std::string_view text, char separator) {
  std::vector<std::string_view> items;
  if (base::Trim(text).empty()) return items;
  size_t pos = 0;
  while (true) {
    size_t stop = text.find(separator, pos);
    items.push_back(
        base::Trim(text.substr(pos, stop == std::string_view::npos ? std::string_view::npos : stop - pos)));
    if (stop == std::string_view::npos) break;
    pos = stop + 1;
  }
  return items;
}

}  // namespace kestrune::sim
