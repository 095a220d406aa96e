// The script value: the (type, payload) pair that every variable holds and every lookup returns.
// Numbers are signed 64-bit; the hexadecimal type differs from the plain number only in how it is
// written out. Texts are UTF-8 and never longer than a text variable can hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"

namespace kestrune::engine {

enum class ValueType : uint32_t { kNone = 0, kNumber = 1, kText = 2, kHex = 3 };

inline constexpr size_t kMaxTextChars = 1023;    // capacity of a text variable
// Capacity of a quoted literal. Argument evaluation hands every text argument to its command as a
// quoted literal, so a smaller bound would cut a long text variable on its way into any command.
inline constexpr size_t kMaxQuotedChars = kMaxTextChars;

// The longest prefix of utf8 with at most maxChars characters; never cuts inside a character.
inline std::string_view ClampChars(std::string_view utf8, size_t maxChars) {
  size_t chars = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;  // continuation byte
    if (chars == maxChars) return utf8.substr(0, i);
    ++chars;
  }
  return utf8;
}

struct Value {
  ValueType type = ValueType::kNone;
  int64_t number = 0;  // payload of kNumber and kHex
  std::string text;    // payload of kText, at most kMaxTextChars characters

  static Value None() { return {}; }
  static Value Number(int64_t n) { return {ValueType::kNumber, n, {}}; }
  static Value Hex(int64_t n) { return {ValueType::kHex, n, {}}; }
  // A number of the given numeric type (kHex gives Hex, anything else Number).
  static Value OfType(int64_t n, ValueType type) { return type == ValueType::kHex ? Hex(n) : Number(n); }
  // A text value, cut to kMaxTextChars characters.
  static Value Text(std::string_view s) { return {ValueType::kText, 0, std::string(ClampChars(s, kMaxTextChars))}; }

  bool IsNone() const { return type == ValueType::kNone; }
  bool IsNumeric() const { return type == ValueType::kNumber || type == ValueType::kHex; }
  bool IsText() const { return type == ValueType::kText; }
};

// A number as scripts show it: "%lld" for a plain number, "0x%llX" of its two's-complement bits
// for a hexadecimal one.
inline std::string FormatNumber(int64_t n, ValueType type) {
  if (type == ValueType::kHex) return base::Format("0x%llX", static_cast<unsigned long long>(n));
  return base::Format("%lld", static_cast<long long>(n));
}

// The text form of a value: its text, its formatted number, or "" for no value.
inline std::string DisplayText(const Value& v) {
  if (v.IsText()) return v.text;
  if (v.IsNumeric()) return FormatNumber(v.number, v.type);
  return {};
}

}  // namespace kestrune::engine
