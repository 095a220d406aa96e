#include "engine/keyword_lookup.h"

#include <mutex>

#include "base/text.h"
#include "base/unicode.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::engine {

using base::CutChars;
using base::EqualsNoCase;
using base::FromUtf16Le;
using base::Trim;

namespace {

// A "key : value" line split at its first ":".
struct KeyLine {
  std::string_view key;       // trimmed
  std::string_view shortKey;  // the key cut at "(", trimmed
  std::string_view bracket;   // between the key's "(" and the next ")", trimmed; empty without "("
  std::string_view value;     // trimmed
};

std::optional<KeyLine> SplitKeyLine(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  KeyLine k;
  k.key = Trim(line.substr(0, colon));
  k.value = Trim(line.substr(colon + 1), true);
  size_t open = k.key.find('(');
  k.shortKey = Trim(k.key.substr(0, open));
  if (open != std::string_view::npos) {
    std::string_view inner = k.key.substr(open + 1);
    k.bracket = Trim(inner.substr(0, inner.find(')')));
  }
  return k;
}

}  // namespace

std::vector<std::string> SplitAlternatives(std::string_view keyword) {
  std::vector<std::string> out;
  while (out.size() < kMaxAlternatives) {
    size_t bar = keyword.find('|');
    std::string_view part = Trim(keyword.substr(0, bar));
    if (!part.empty()) out.emplace_back(CutChars(part, kMaxAlternativeChars));
    if (bar == std::string_view::npos) break;
    keyword.remove_prefix(bar + 1);
  }
  return out;
}

std::optional<KeywordHit> SearchOutputLines(const std::deque<OutputLine>& lines,
                                            const std::vector<std::string>& alternatives) {
  if (alternatives.empty()) return std::nullopt;
  bool findImage = alternatives.size() == 1 && EqualsNoCase(alternatives[0], "FINDIMAGE");
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    const std::string& text = it->text;
    if (!text.empty() && text.front() == '<') break;
    if (findImage) {
      if (it->kind == kPicture) return KeywordHit{alternatives[0], text};
      continue;
    }
    std::optional<KeyLine> k = SplitKeyLine(text);
    if (!k) continue;
    for (const std::string& alt : alternatives)
      if (EqualsNoCase(alt, k->key) || EqualsNoCase(alt, k->shortKey))
        return KeywordHit{alt, std::string(k->value)};
  }
  return std::nullopt;
}

std::optional<KeywordHit> SearchResultText(std::string_view text,
                                           const std::vector<std::string>& alternatives) {
  if (alternatives.empty()) return std::nullopt;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = CutChars(text.substr(0, end), kResultFileLineChars);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    std::optional<KeyLine> k = SplitKeyLine(line);
    if (!k) continue;
    for (const std::string& alt : alternatives) {
      if (EqualsNoCase(alt, k->shortKey) || (!k->bracket.empty() && EqualsNoCase(alt, k->bracket)) ||
          EqualsNoCase(alt, k->key))
        return KeywordHit{alt, std::string(k->value)};
    }
  }
  return std::nullopt;
}

std::optional<KeywordHit> LookupKeyword(ViewOutput* view, std::string_view keyword) {
  if (!view) return std::nullopt;
  std::vector<std::string> alternatives = SplitAlternatives(keyword);
  OutputWriter::CloseResultFile(view);  // its lines are complete on disk before the file is read
  const std::string folder = view->baseLogFolder;
  {
    std::lock_guard<std::mutex> guard(view->lock);
    if (auto hit = SearchOutputLines(view->lines, alternatives)) return hit;
  }
  auto bytes = platform::ReadWholeFile(platform::JoinPath(folder, "_Result.txt"));
  if (!bytes) return std::nullopt;
  std::string text =
      FromUtf16Le(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  return SearchResultText(text, alternatives);
}

}  // namespace kestrune::engine
