// INI files with the Windows profile-file rules, the same on every platform: sections and keys are
// matched without regard to case, the first match wins, values are trimmed, lines starting with ";"
// are comments. Files may be ANSI/UTF-8 or UTF-16LE with a byte-order mark.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::engine {

class IniFile {
 public:
  // Parses text (already decoded to UTF-8).
  static IniFile Parse(std::string_view text);
  // Reads and decodes a file; nullopt when it cannot be read.
  static std::optional<IniFile> Load(const std::string& path);

  // The value of key in section, trimmed (one pair of surrounding double quotes removed);
  // nullopt when absent.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  std::string GetString(std::string_view section, std::string_view key, std::string_view fallback) const;
  // The leading decimal number of the value (as the profile API reads integers); fallback when absent.
  int GetInt(std::string_view section, std::string_view key, int fallback) const;

  // Section names in file order.
  std::vector<std::string> Sections() const;
  // Keys of a section in file order.
  std::vector<std::string> Keys(std::string_view section) const;

 private:
  struct Entry {
    std::string section;
    std::string key;
    std::string value;
  };
  std::vector<std::string> sections_;
  std::vector<Entry> entries_;
};

// Decodes file bytes to UTF-8: UTF-16LE with a byte-order mark, UTF-8 with or without one.
std::string DecodeTextFile(std::string_view bytes);

}  // namespace kestrune::engine
