// Script files: the scrambled storage form and the cutting of script text into statements.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::engine {

// Longest statement window in bytes.
inline constexpr size_t kStatementWindow = 2048;

// Scrambles or unscrambles (the same routine does both): reverses the byte order and substitutes
// every byte through a fixed table that is its own inverse.
void ScrambleInPlace(std::vector<uint8_t>& bytes);

// True when a file of this name is stored plain (extension ".scpt", compared case-sensitively).
bool IsPlainScriptName(std::string_view path);

// Loads a script file and returns its plain text; false when it cannot be read.
bool LoadScript(const std::string& path, std::string& text);

struct Statement {
  std::string text;  // comments and line ends blanked, trimmed
  size_t length = 0; // bytes of the script consumed, terminator included
};

// Cuts the statement that starts at offset: up to and including the first ";", "{" or "}" within
// the next kStatementWindow bytes (or to that limit). "//" starts a comment that runs to the next
// CR LF pair.
Statement CutStatement(std::string_view script, size_t offset);

}  // namespace kestrune::engine
