#include "engine/literals.h"

#include <limits>

namespace kestrune::engine {

using base::ContainsNoCase;
using base::EqualsNoCase;
using base::Trim;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Magnitude of a run of decimal digits; nullopt when it exceeds limit.
std::optional<uint64_t> DigitsValue(std::string_view digits, uint64_t limit) {
  uint64_t v = 0;
  for (char c : digits) {
    uint64_t d = static_cast<uint64_t>(c - '0');
    if (v > (limit - d) / 10) return std::nullopt;
    v = v * 10 + d;
  }
  return v;
}

}  // namespace

std::optional<int64_t> ParseDecimalLiteral(std::string_view s) {
  if (s.empty() || s.size() > kMaxLiteralChars) return std::nullopt;
  bool negative = s.front() == '-';
  if (negative) s.remove_prefix(1);
  size_t point = s.find('.');
  std::string_view whole = s.substr(0, point);
  if (whole.empty()) return std::nullopt;
  for (char c : whole)
    if (!IsDigit(c)) return std::nullopt;
  if (point != std::string_view::npos) {
    for (char c : s.substr(point + 1))
      if (!IsDigit(c)) return std::nullopt;  // also rejects a second "."
  }
  const uint64_t maxMagnitude = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  auto magnitude = DigitsValue(whole, maxMagnitude);
  if (!magnitude) return std::nullopt;
  return negative ? static_cast<int64_t>(0 - *magnitude) : static_cast<int64_t>(*magnitude);
}

std::optional<int64_t> ParseHexLiteral(std::string_view s) {
  if (s.size() < 3 || s.size() > kMaxLiteralChars || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return std::nullopt;
  uint64_t v = 0;
  int significant = 0;
  for (char c : s.substr(2)) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    if (significant > 0 || d != 0) ++significant;
    if (significant > 16) return std::nullopt;
    v = (v << 4) | static_cast<uint64_t>(d);
  }
  return static_cast<int64_t>(v);
}

std::optional<Value> ParseNumberLiteral(std::string_view s) {
  if (auto hex = ParseHexLiteral(s)) return Value::Hex(*hex);
  if (auto dec = ParseDecimalLiteral(s)) return Value::Number(*dec);
  return std::nullopt;
}

std::optional<int64_t> ParseBoolWord(std::string_view s) {
  if (EqualsNoCase(s, "TRUE")) return 1;
  if (EqualsNoCase(s, "FALSE")) return 0;
  return std::nullopt;
}

std::optional<std::string> ParseQuoted(std::string_view s) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return std::nullopt;
  return std::string(ClampChars(s.substr(1, s.size() - 2), kMaxQuotedChars));
}

std::optional<uint32_t> ToUnsigned32(const Value& v) {
  if (!v.IsNumeric() || v.number < 0 || v.number > 0xFFFFFFFFLL) return std::nullopt;
  return static_cast<uint32_t>(v.number);
}

std::optional<int64_t> ToInt64(const Value& v) {
  if (!v.IsNumeric()) return std::nullopt;
  return v.number;
}

std::optional<std::string> ToText(const Value& v) {
  if (v.IsNone()) return std::nullopt;
  return DisplayText(v);
}

bool ToBoolean(const Value& v) {
  if (v.IsNumeric()) return v.number > 0;
  if (!v.IsText()) return false;
  if (ContainsNoCase(v.text, "TRUE")) return true;
  // The leading decimal integer of the text: blanks, an optional sign, then digits.
  std::string_view s = Trim(v.text);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  size_t n = 0;
  while (n < s.size() && IsDigit(s[n])) ++n;
  if (negative) return false;
  for (size_t i = 0; i < n; ++i)
    if (s[i] != '0') return true;
  return false;
}

}  // namespace kestrune::engine
