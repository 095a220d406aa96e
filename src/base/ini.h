// INI files with the Windows profile-file rules, the same on every platform: sections and keys are
// matched without regard to case, the first match wins, values are trimmed, lines starting with ";"
// are comments. Files may be ANSI/UTF-8 or UTF-16LE with a byte-order mark; writing keeps the
// file's encoding and every line it does not change.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::base {

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

// How a text file's bytes are stored.
enum class TextEncoding { kUtf8, kUtf8Bom, kUtf16LeBom };

// The encoding of file bytes: UTF-16LE when they start with its byte-order mark, UTF-8 with a
// byte-order mark when they start with that one, else plain UTF-8/ANSI.
TextEncoding DetectEncoding(std::string_view bytes);

// Decodes file bytes to UTF-8: UTF-16LE with a byte-order mark, UTF-8 with or without one.
std::string DecodeTextFile(std::string_view bytes);

// UTF-8 text as file bytes of the encoding (with its byte-order mark).
std::string EncodeTextFile(std::string_view utf8, TextEncoding encoding);

// True when section, key and value can be stored so that reading gives them back: section and key
// non-empty once trimmed, no line breaks anywhere, no "]" in the section, no "=" in the key, and a
// key that does not start with ";" or "[".
bool IsStorableIniEntry(std::string_view section, std::string_view key, std::string_view value);

// INI text with key in section set to value: the first line that reading would take the key from
// gets the new value (its text up to and after the "=" kept); a missing key is added after the last
// entry of the first matching section (or right after its header); a missing section is appended
// with the key. Every other byte stays as it was; new lines take the text's own line end (CR LF
// when it has none). section and key are used trimmed; the entry must be storable.
std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value);

enum class IniWrite { kOk, kBadEntry, kFileFailed };

// Sets key in section of the INI file at path as SetIniValue does, creating the file (plain text)
// when it is missing. The file keeps its encoding and is replaced through a temporary file, so a
// crash leaves either the old or the new file; with flush the new file is on the disk on return.
// A file that exists but cannot be read is left alone (kFileFailed).
IniWrite WriteIniValue(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view value, bool flush = false);

}  // namespace kestrune::base
