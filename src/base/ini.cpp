#include "base/ini.h"

#include "platform/atomic_file.h"
#include "base/text.h"
#include "base/unicode.h"
#include "platform/files.h"

namespace kestrune::base {
namespace {

// One line of an INI text: where it starts, where its text ends and where the next line starts.
struct LineSpan {
  size_t start = 0;
  size_t contentEnd = 0;
  size_t end = 0;
};

// Lines end at CR, LF or CR LF. Reading and writing cut the text the same way, so that they agree
// on what each line is.
std::vector<LineSpan> SplitLines(std::string_view text) {
  std::vector<LineSpan> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t stop = text.find_first_of("\r\n", pos);
    if (stop == std::string_view::npos) {
      lines.push_back({pos, text.size(), text.size()});
      break;
    }
    size_t next = stop + (text[stop] == '\r' && stop + 1 < text.size() && text[stop + 1] == '\n' ? 2 : 1);
    lines.push_back({pos, stop, next});
    pos = next;
  }
  return lines;
}

enum class IniLineKind { kOther, kSection, kEntry };

struct IniLine {
  IniLineKind kind = IniLineKind::kOther;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // an entry's value, trimmed
};

// What one line is under the profile-file rules: blank lines, ";" comments and lines without "="
// carry nothing; "[" starts a section header (its name runs to "]" or the line's end).
IniLine ClassifyLine(std::string_view raw) {
  std::string_view line = Trim(raw);
  if (line.empty() || line.front() == ';') return {};
  if (line.front() == '[') {
    size_t close = line.find(']');
    return {IniLineKind::kSection,
            Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1)),
            {}};
  }
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  return {IniLineKind::kEntry, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

// The line end the text already uses; CR LF for a text without one.
std::string_view LineEndOf(std::string_view text) {
  size_t stop = text.find_first_of("\r\n");
  if (stop == std::string_view::npos) return "\r\n";
  if (text[stop] == '\n') return "\n";
  return stop + 1 < text.size() && text[stop + 1] == '\n' ? "\r\n" : "\r";
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

TextEncoding DetectEncoding(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE)
    return TextEncoding::kUtf16LeBom;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return TextEncoding::kUtf8Bom;
  return TextEncoding::kUtf8;
}

std::string DecodeTextFile(std::string_view bytes) {
  switch (DetectEncoding(bytes)) {
    case TextEncoding::kUtf16LeBom:
      return FromUtf16Le(bytes.substr(2));
    case TextEncoding::kUtf8Bom:
      return std::string(bytes.substr(3));
    case TextEncoding::kUtf8:
      break;
  }
  return std::string(bytes);
}

std::string EncodeTextFile(std::string_view utf8, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf16LeBom:
      return "\xFF\xFE" + Utf16Le(utf8);
    case TextEncoding::kUtf8Bom:
      return "\xEF\xBB\xBF" + std::string(utf8);
    case TextEncoding::kUtf8:
      break;
  }
  return std::string(utf8);
}

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  std::string section;
  bool inSection = false;
  for (const LineSpan& span : SplitLines(text)) {
    IniLine line = ClassifyLine(text.substr(span.start, span.contentEnd - span.start));
    if (line.kind == IniLineKind::kSection) {
      section = std::string(line.name);
      inSection = true;
      ini.sections_.push_back(section);
    } else if (line.kind == IniLineKind::kEntry && inSection) {
      ini.entries_.push_back({section, std::string(line.name), std::string(line.value)});
    }
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

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view fallback) const {
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

bool IsStorableIniEntry(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (section.empty() || key.empty()) return false;
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos) return false;
  return key.front() != ';' && key.front() != '[';
}

std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  std::string_view eol = LineEndOf(text);
  std::vector<LineSpan> lines = SplitLines(text);

  bool inSection = false;        // a section header has been seen
  bool inMatching = false;       // the current section has the wanted name
  bool inFirstMatching = false;  // ... and is the first one with it
  bool firstSeen = false;
  const LineSpan* insertAfter = nullptr;
  for (const LineSpan& span : lines) {
    std::string_view raw = text.substr(span.start, span.contentEnd - span.start);
    IniLine line = ClassifyLine(raw);
    if (line.kind == IniLineKind::kSection) {
      inSection = true;
      inMatching = EqualsNoCase(line.name, section);
      inFirstMatching = inMatching && !firstSeen;
      if (inFirstMatching) {
        firstSeen = true;
        insertAfter = &span;
      }
      continue;
    }
    if (line.kind != IniLineKind::kEntry || !inSection || !inMatching) continue;
    if (EqualsNoCase(line.name, key)) {
      // Keep the line's own spelling of the key and its spacing around "=".
      size_t keep = raw.find('=') + 1;
      while (keep < raw.size() && (raw[keep] == ' ' || raw[keep] == '\t')) ++keep;
      std::string out(text.substr(0, span.start));
      out.append(raw.substr(0, keep)).append(value).append(text.substr(span.contentEnd));
      return out;
    }
    if (inFirstMatching) insertAfter = &span;
  }

  std::string entry = std::string(key) + "=" + std::string(value);
  if (insertAfter) {
    bool terminated = insertAfter->end > insertAfter->contentEnd;
    std::string out(text.substr(0, insertAfter->end));
    if (!terminated) out.append(eol);
    out.append(entry);
    if (terminated) out.append(eol);
    out.append(text.substr(insertAfter->end));
    return out;
  }
  std::string out(text);
  if (!out.empty() && out.back() != '\n' && out.back() != '\r') out.append(eol);
  out.append("[").append(section).append("]").append(eol).append(entry).append(eol);
  return out;
}

IniWrite WriteIniValue(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view value, bool flush) {
  if (!IsStorableIniEntry(section, key, value)) return IniWrite::kBadEntry;
  std::string bytes;
  if (platform::FileExists(path)) {
    auto data = platform::ReadWholeFile(path);
    if (!data) return IniWrite::kFileFailed;
    bytes.assign(reinterpret_cast<const char*>(data->data()), data->size());
  }
  TextEncoding encoding = DetectEncoding(bytes);
  std::string text = SetIniValue(DecodeTextFile(bytes), section, key, value);
  return platform::SaveFileAtomically(path, EncodeTextFile(text, encoding), flush) ? IniWrite::kOk
                                                                         : IniWrite::kFileFailed;
}

}  // namespace kestrune::base
