#include "engine/arguments.h"

#include "base/text.h"
#include "engine/expression.h"
#include "engine/literals.h"

namespace kestrune::engine {

using base::EqualsNoCase;
using base::Trim;

std::optional<Pair> NextPair(std::string_view& text) {
  size_t end = 0;
  bool inQuotes = false;
  size_t colon = std::string_view::npos;
  for (; end < text.size(); ++end) {
    char c = text[end];
    if (c == '"') inQuotes = !inQuotes;
    if (inQuotes) continue;
    if (c == ',') break;
    if (c == ':' && colon == std::string_view::npos) colon = end;
  }
  std::string_view pair = text.substr(0, end);
  text = end < text.size() ? text.substr(end + 1) : std::string_view{};

  Pair out;
  if (colon != std::string_view::npos) {
    out.name = std::string(Trim(pair.substr(0, colon)).substr(0, 30));
    out.value = std::string(Trim(pair.substr(colon + 1), true));
  } else {
    out.value = std::string(Trim(pair, true));
  }
  if (out.value == ";") out.value.clear();
  if (out.name.empty() && out.value.empty()) return std::nullopt;
  return out;
}

std::string EvaluateArguments(VarList& vars, ErrorSink& errors, std::string_view args) {
  std::string out;
  bool first = true;
  while (auto pair = NextPair(args)) {
    if (pair->value.empty()) break;
    if (!first) out += ", ";
    first = false;
    EvaluateExpression(vars, errors, pair->value, "_Varible");
    Value v = vars.Get("_Varible");
    if (v.IsText())
      out += pair->name + ":\"" + v.text + "\"";
    else
      out += pair->name + ":" + FormatNumber(v.number, v.type);
  }
  return out;
}

ArgReader::ArgReader(const VarList& vars, ErrorSink& errors, std::string_view args,
                     std::initializer_list<std::string_view> parameters)
    : vars_(vars), errors_(errors), parameters_(parameters) {
  while (auto pair = NextPair(args)) pairs_.push_back(std::move(*pair));
}

const Pair* ArgReader::Bind() {
  size_t k = next_++;
  if (k < parameters_.size()) {
    for (const Pair& p : pairs_)
      if (EqualsNoCase(p.name, parameters_[k])) return &p;
  }
  if (k >= pairs_.size()) return nullptr;
  const Pair& positional = pairs_[k];
  for (std::string_view other : parameters_)
    if (!positional.name.empty() && EqualsNoCase(positional.name, other)) return nullptr;
  return &positional;
}

std::optional<Value> ArgReader::NextValue() {
  const Pair* pair = Bind();
  if (!pair || pair->value.empty()) return std::nullopt;
  return ReadValue(vars_, errors_, pair->value);
}

uint32_t ArgReader::U32(uint32_t fallback) {
  auto v = NextValue();
  if (!v) return fallback;
  auto n = ToUnsigned32(*v);
  if (!n) ok_ = false;
  return n.value_or(fallback);
}

int64_t ArgReader::I64(int64_t fallback) {
  auto v = NextValue();
  if (!v) return fallback;
  auto n = ToInt64(*v);
  if (!n) ok_ = false;
  return n.value_or(fallback);
}

std::string ArgReader::Text(std::string_view fallback) {
  auto v = NextValue();
  if (!v) return std::string(fallback);
  auto t = ToText(*v);
  if (!t) ok_ = false;
  return t.value_or(std::string(fallback));
}

bool ArgReader::Bool(bool fallback) {
  auto v = NextValue();
  return v ? ToBoolean(*v) : fallback;
}

std::optional<Pair> ArgReader::Raw() {
  const Pair* pair = Bind();
  return pair ? std::optional<Pair>(*pair) : std::nullopt;
}

std::optional<Value> ArgReader::Any() { return NextValue(); }

}  // namespace kestrune::engine
