#include "engine/ini.h"

#include "engine/output.h"
#include "engine/text.h"
#include "platform/files.h"

namespace kestrune::engine {

std::string DecodeTextFile(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE)
    return FromUtf16Le(bytes.substr(2));
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  return std::string(bytes);
}

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  std::string section;
  bool inSection = false;
  while (!text.empty()) {
    size_t end = text.find_first_of("\r\n");
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      section = std::string(Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1)));
      inSection = true;
      ini.sections_.push_back(section);
      continue;
    }
    size_t eq = line.find('=');
    if (!inSection || eq == std::string_view::npos) continue;
    ini.entries_.push_back({section, std::string(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1)))});
  }
  return ini;
}

std::optional<IniFile> IniFile::Load(const std::string& path) {
  auto bytes = platform::ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return Parse(DecodeTextFile(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())));
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  for (const Entry& e : entries_) {
    if (EqualsNoCase(e.section, section) && EqualsNoCase(e.key, key)) {
      std::string_view v = e.value;
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      return std::string(v);
    }
  }
  return std::nullopt;
}

std::string IniFile::GetString(std::string_view section, std::string_view key, std::string_view fallback) const {
  auto v = Get(section, key);
  return v ? *v : std::string(fallback);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int fallback) const {
  auto v = Get(section, key);
  if (!v) return fallback;
  std::string_view s = *v;
  bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  long long n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    n = n * 10 + (c - '0');
    if (n > 0x7FFFFFFF) break;
  }
  return static_cast<int>(negative ? -n : n);
}

std::vector<std::string> IniFile::Sections() const { return sections_; }

std::vector<std::string> IniFile::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  for (const Entry& e : entries_)
    if (EqualsNoCase(e.section, section)) keys.push_back(e.key);
  return keys;
}

}  // namespace kestrune::engine
