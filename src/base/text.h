// Small text helpers shared by every folder: ASCII case folding and case-insensitive search.
// Names, keys and options are compared without regard to case throughout the program.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::base {

inline char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string ToLowerAscii(std::string_view s);
std::string ToUpperAscii(std::string_view s);

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

// Position of the first occurrence of needle in hay, ignoring case; npos when absent.
size_t FindNoCase(std::string_view hay, std::string_view needle, size_t from = 0);
inline bool ContainsNoCase(std::string_view hay, std::string_view needle) {
  return FindNoCase(hay, needle) != std::string_view::npos;
}

// Trims blanks and tabs (and, with lineEnds, CR and LF) at both ends.
std::string_view Trim(std::string_view s, bool lineEnds = false);

// printf into a std::string. Portable formats only.
std::string Format(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));

// Text escaped for markup (HTML, XML), in elements and quoted attributes alike: & < > " ' become
// entities; with blanksAsNbsp each blank becomes "&nbsp;" too (HTML rows keep their spacing).
std::string EscapeMarkup(std::string_view text, bool blanksAsNbsp = false);

}  // namespace kestrune::base
