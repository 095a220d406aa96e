// Literal forms a value text can take (number literals, TRUE/FALSE, quoted text) and the converters
// that turn a looked-up value into what a command handler needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/value.h"

namespace kestrune::engine {

inline constexpr size_t kMaxLiteralChars = 20;  // longest number literal

// A decimal literal: at most 20 characters, an optional leading "-", at least one digit, optionally
// one "." followed by digits that are ignored ("2.5" is 2). Leading zeros are allowed ("007" is 7).
// "+5", "1e3", blanks and values outside the signed 64-bit range are no literal (nullopt).
std::optional<int64_t> ParseDecimalLiteral(std::string_view s);

// A hexadecimal literal: "0x" or "0X" followed by at least one hexadecimal digit, at most 20
// characters in all and at most 16 significant digits. The 64 bits are taken as two's complement,
// so "0xFFFFFFFFFFFFFFFF" is -1. Anything else is nullopt.
std::optional<int64_t> ParseHexLiteral(std::string_view s);

// Either literal: a hexadecimal one gives a kHex value, a decimal one a kNumber value.
std::optional<Value> ParseNumberLiteral(std::string_view s);

// "TRUE" gives 1 and "FALSE" gives 0 (any case); anything else is nullopt.
std::optional<int64_t> ParseBoolWord(std::string_view s);

// Text whose first and last characters are double quotes (at least two characters): the text
// between them, taken literally and cut to kMaxQuotedChars characters. Otherwise nullopt.
std::optional<std::string> ParseQuoted(std::string_view s);

// Converters of parameter binding, applied to an already looked-up value.
// Unsigned 32-bit: a number (either numeric type) from 0 to 0xFFFFFFFF; text or no value fails.
std::optional<uint32_t> ToUnsigned32(const Value& v);
// 64-bit: any number; text or no value fails.
std::optional<int64_t> ToInt64(const Value& v);
// Text: the text itself or the number written by its type; no value fails.
std::optional<std::string> ToText(const Value& v);
// Boolean, never fails: true when a text contains "TRUE" (any case) or its leading decimal
// integer is above 0, or when a number is above 0.
bool ToBoolean(const Value& v);

}  // namespace kestrune::engine
