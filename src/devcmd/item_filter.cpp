#include "devcmd/item_filter.h"

#include "base/text.h"
#include "engine/literals.h"

namespace kestrune::devcmd {
namespace {

// Drops the blank of every "| " and " |" until none is left (so that "|  MN" loses both blanks).
std::string DropBlanksAtBars(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == ' ' && !out.empty() && out.back() == '|') continue;  // "| "
    if (s[i] == '|')
      while (!out.empty() && out.back() == ' ') out.pop_back();  // " |"
    out.push_back(s[i]);
  }
  return out;
}

}  // namespace

std::string NormaliseItems(std::string_view items) {
  if (items.empty()) return {};
  std::string wrapped;
  wrapped.reserve(items.size() + 2);
  wrapped.push_back('|');
  wrapped.append(items);
  wrapped.push_back('|');
  return DropBlanksAtBars(wrapped);
}

ItemCollector::ItemCollector(std::string_view items) : filter_(NormaliseItems(items)) {}

bool ItemCollector::Selects(std::string_view key) const {
  return filter_.empty() || base::ContainsNoCase(filter_, key);
}

void ItemCollector::Add(std::string_view piece) {
  if (any_) joined_ += ",";
  joined_ += piece;
  any_ = true;
}

engine::Value ItemCollector::Result() const { return ResultOf(joined_); }

engine::Value ItemCollector::ResultOf(const std::string& joined) {
  if (joined.find(',') != std::string::npos) return engine::Value::Text(joined);
  if (auto number = engine::ParseNumberLiteral(joined)) return *number;
  std::string_view text = joined;
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  return engine::Value::Text(text);
}

}  // namespace kestrune::devcmd
