// UTF-8 and UTF-16LE at the byte level: cutting UTF-8 text by characters and converting between
// the two (files and structures whose format is UTF-16 are converted at that boundary).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune::base {

// Cuts UTF-8 text after at most chars characters (code points), never inside a character.
std::string_view CutChars(std::string_view text, size_t chars);

// UTF-8 to UTF-16LE bytes (invalid sequences become U+FFFD).
std::string Utf16Le(std::string_view utf8);
// UTF-16LE bytes to UTF-8.
std::string FromUtf16Le(std::string_view bytes);

}  // namespace kestrune::base
