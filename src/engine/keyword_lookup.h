// The key word lookup behind Result, ResultColumn and ResultHex: finds the value of a "key : value"
// line that the latest command printed, first in the view's output list, then in "_Result.txt".
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/output.h"

namespace kestrune::engine {

inline constexpr size_t kMaxAlternatives = 10;
inline constexpr size_t kMaxAlternativeChars = 256;
inline constexpr size_t kResultFileLineChars = 1000;

struct KeywordHit {
  std::string keyword;  // the alternative that matched
  std::string value;    // the text after the line's first ":", trimmed
};

// The alternatives of a key word: the parts between "|", trimmed, empty parts dropped, at most
// kMaxAlternatives of them, each cut to kMaxAlternativeChars characters.
std::vector<std::string> SplitAlternatives(std::string_view keyword);

// Searches lines from the newest back to the latest command header (a text starting with "<"),
// which ends the search. The single alternative "FINDIMAGE" takes the text of the newest picture
// line. Otherwise a line holding ":" answers when an alternative (tried in order) equals its key
// (the text before the first ":") or its short key (the key cut at "("), ignoring case.
std::optional<KeywordHit> SearchOutputLines(const std::deque<OutputLine>& lines,
                                            const std::vector<std::string>& alternatives);

// Searches the text of a result file from its first line (each cut at kResultFileLineChars
// characters): a line holding ":" answers when an alternative equals its short key, its bracket key
// (the text between the key's first "(" and the next ")") or its key, ignoring case.
std::optional<KeywordHit> SearchResultText(std::string_view text,
                                           const std::vector<std::string>& alternatives);

// The full lookup: closes the view's result file, searches its output list and, when that gives
// nothing, "_Result.txt" in its base log folder. Thread-safe (takes the view's lock).
std::optional<KeywordHit> LookupKeyword(ViewOutput* view, std::string_view keyword);

}  // namespace kestrune::engine
