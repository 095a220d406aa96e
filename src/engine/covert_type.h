// Conversion of a looked-up value text by a command's CovertType parameter (Result, ResultColumn and
// the INI and parameter readers): "String", "Integer", "Hex", or anything else for the literal rules.
#pragma once

#include <string_view>

#include "engine/value.h"

namespace kestrune::engine {

// "String" (any case): the text. "Integer": the leading decimal number (optional sign; 0 when there is
// none; out-of-range values saturate) as a number. "Hex": the leading hexadecimal number (an optional
// "0x"; 0 when there is none; saturating at 64 bits) as a hexadecimal number. Anything else: a "0x"
// literal gives a hexadecimal number, a decimal literal a number, any other text stays text.
Value ConvertByType(std::string_view text, std::string_view covertType);

}  // namespace kestrune::engine
