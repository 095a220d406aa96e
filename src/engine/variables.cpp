#include "engine/variables.h"

#include <algorithm>
#include <atomic>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/expression.h"
#include "engine/literals.h"

namespace kestrune::engine {

namespace code = base::code;
using base::EqualsNoCase;
using base::Format;
using base::ToLowerAscii;
using base::Trim;

// ---- VarList ----

void VarList::Clear() {
  vars_.clear();
  index_.clear();
}

const Variable* VarList::Find(std::string_view name) const {
  auto it = index_.find(ToLowerAscii(name));
  return it == index_.end() ? nullptr : &vars_[it->second];
}

Value VarList::Get(std::string_view name) const {
  const Variable* v = Find(name);
  return v ? v->value : Value::None();
}

bool VarList::Set(std::string_view name, Value value) {
  if (value.IsNone()) value = Value::Number(0);
  if (value.IsText()) value.text = std::string(ClampChars(value.text, kMaxTextChars));
  std::string key = ToLowerAscii(name);
  auto it = index_.find(key);
  if (it != index_.end()) {
    vars_[it->second].value = std::move(value);
    return true;
  }
  if (vars_.size() >= kMaxVariables) return false;
  index_.emplace(std::move(key), vars_.size());
  vars_.push_back({std::string(name), std::move(value)});
  return true;
}

bool VarList::Rename(std::string_view from, std::string_view to) {
  auto it = index_.find(ToLowerAscii(from));
  if (it == index_.end()) return false;
  if (!EqualsNoCase(from, to) && Find(to)) {
    std::string target = ToLowerAscii(to);
    vars_.erase(vars_.begin() + static_cast<ptrdiff_t>(index_[target]));
    Reindex();
    it = index_.find(ToLowerAscii(from));
  }
  size_t pos = it->second;
  index_.erase(it);
  vars_[pos].name = std::string(to);
  index_[ToLowerAscii(to)] = pos;
  return true;
}

void VarList::Reindex() {
  index_.clear();
  for (size_t i = 0; i < vars_.size(); ++i) index_[ToLowerAscii(vars_[i].name)] = i;
}

bool StoreValue(VarList& vars, ErrorSink& errors, std::string_view name, Value value) {
  if (vars.Set(name, std::move(value))) return true;
  errors.Report(code::kBadParameter,
                Format("Too many variables: %.*s", static_cast<int>(name.size()), name.data()));
  return false;
}

// ---- Arrays ----

std::string ArrayElementName(std::string_view array, int64_t index) {
  return std::string(array) + "[" + std::to_string(index) + "]";
}

std::string ArrayLengthName(std::string_view array) { return std::string(array) + "[0xEFFFFFFF]"; }

std::string ArrayMarkerName(std::string_view array) { return std::string(array) + "[]"; }

std::optional<ElementRef> SplitElement(std::string_view text) {
  size_t open = text.find('[');
  if (open == std::string_view::npos || text.back() != ']') return std::nullopt;
  return ElementRef{Trim(text.substr(0, open)), Trim(text.substr(open + 1, text.size() - open - 2))};
}

std::optional<int64_t> ResolveIndex(const VarList& vars, std::string_view indexText) {
  if (const Variable* v = vars.Find(indexText); v && v->value.IsNumeric()) return v->value.number;
  if (auto literal = ParseNumberLiteral(indexText)) return literal->number;
  return std::nullopt;
}

std::string NextFreshName() {
  static std::atomic<int> counter{0};
  int n = counter.load();
  while (!counter.compare_exchange_weak(n, n >= 999 ? 0 : n + 1)) {
  }
  return Format("_Varible%d", n);
}

std::optional<int64_t> ArrayLength(const VarList& vars, ErrorSink& errors, std::string_view arrayText) {
  std::string_view text = Trim(arrayText);
  size_t marker = text.find("[]");
  if (marker == std::string_view::npos) return 0;
  const Variable* length = vars.Find(ArrayLengthName(Trim(text.substr(0, marker))));
  if (!length) {
    errors.Report(code::kVariableNotInitial, "No Found Array");
    return std::nullopt;
  }
  return length->value.number;
}

bool IsListCommandName(std::string_view name) {
  static constexpr std::string_view kListCommands[] = {"StrSplit", "CheckListBox", "DiskList",      "Identify",
                                                       "InitParam_List", "SMART", "VSC_GetMPinfo", "VSC_GetFWconfig"};
  return std::find(std::begin(kListCommands), std::end(kListCommands), name) != std::end(kListCommands);
}

// ---- Statements ----

namespace {

// The text before the first ";" outside double quotes.
std::string_view CutAtSemicolon(std::string_view text) {
  bool inQuotes = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') inQuotes = !inQuotes;
    if (text[i] == ';' && !inQuotes) return text.substr(0, i);
  }
  return text;
}

// List items separated by "," outside double quotes, at most kMaxListItems of them: the last one
// takes the whole rest of the text, commas and all. An empty text is no item at all.
std::vector<std::string_view> SplitList(std::string_view list) {
  std::vector<std::string_view> items;
  if (Trim(list).empty()) return items;
  bool inQuotes = false;
  size_t start = 0;
  for (size_t i = 0; i < list.size() && items.size() + 1 < kMaxListItems; ++i) {
    if (list[i] == '"') inQuotes = !inQuotes;
    if (list[i] == ',' && !inQuotes) {
      items.push_back(Trim(list.substr(start, i - start)));
      start = i + 1;
    }
  }
  items.push_back(Trim(list.substr(start)));
  return items;
}

// "A[] = list": every item is evaluated into the next element, and the length becomes the item
// count. Elements above the new length, left from a longer earlier list or written one by one, stay
// as they are.
bool AssignList(VarList& vars, ErrorSink& errors, std::string_view array, std::string_view expression) {
  std::string_view source = Trim(expression);
  std::string list(source);
  if (IsListCommandName(source)) {
    Value result = ReadValue(vars, errors, source);
    if (result.IsNone()) return false;
    list = DisplayText(result);
  }
  std::vector<std::string_view> items = SplitList(list);
  for (size_t k = 0; k < items.size(); ++k)
    EvaluateExpression(vars, errors, items[k], ArrayElementName(array, static_cast<int64_t>(k)));
  const int64_t count = static_cast<int64_t>(items.size());
  return StoreValue(vars, errors, ArrayLengthName(array), Value::Number(count)) &&
         StoreValue(vars, errors, ArrayMarkerName(array), Value::Text(ArrayMarkerName(array)));
}

// "A[i] = expression": an index that reads as a number names the element "A[n]", which must lie in
// 0..kMaxArrayIndex; an index that reads as text leaves the target name as written. The element is
// made or changed on its own: the array's length and marker stay as they are (only a list sets
// them), so the elements of an array that no list has given a length read as "".
bool AssignElement(VarList& vars, ErrorSink& errors, std::string_view target, const ElementRef& ref,
                   std::string_view expression) {
  Value index = ReadValue(vars, errors, ref.index);
  if (index.IsNone()) return false;
  if (!index.IsNumeric()) return EvaluateExpression(vars, errors, expression, target);
  if (index.number < 0 || index.number > kMaxArrayIndex) {
    errors.Report(code::kBadParameter, target);
    return false;
  }
  return EvaluateExpression(vars, errors, expression, ArrayElementName(ref.array, index.number));
}

}  // namespace

bool RunAssignment(VarList& vars, ErrorSink& errors, std::string_view statement) {
  size_t eq = statement.find('=');
  std::string_view target = eq == std::string_view::npos ? std::string_view() : Trim(statement.substr(0, eq));
  if (target.empty()) {
    errors.Report(code::kUndefinedCommand, Trim(statement));
    return false;
  }
  std::string_view expression = CutAtSemicolon(statement.substr(eq + 1));
  if (target.size() > 2 && target.ends_with("[]"))
    return AssignList(vars, errors, Trim(target.substr(0, target.size() - 2)), expression);
  if (auto ref = SplitElement(target)) return AssignElement(vars, errors, target, *ref, expression);
  return EvaluateExpression(vars, errors, expression, target);
}

bool IsIncrementStatement(std::string_view statement) {
  if (statement.find('"') != std::string_view::npos) return false;
  for (std::string_view op : {"++", "--", "+=", "-="})
    if (statement.find(op) != std::string_view::npos) return true;
  return false;
}

bool RunIncrement(VarList& vars, ErrorSink& errors, std::string_view statement) {
  for (std::string_view op : {"++", "--", "+=", "-="}) {
    size_t pos = statement.find(op);
    if (pos == std::string_view::npos) continue;
    const bool down = op[0] == '-';
    int64_t step = 1;
    if (op[1] == '=') {
      size_t end = statement.find(';', pos + 2);
      if (end == std::string_view::npos) return false;
      std::string_view amount = Trim(statement.substr(pos + 2, end - pos - 2));
      auto literal = ParseNumberLiteral(amount);
      if (!literal) {
        errors.Report(code::kBadParameter, amount);
        return false;
      }
      step = literal->number;
    }
    std::string_view written = Trim(statement.substr(0, pos));
    std::string name(written);
    if (auto ref = SplitElement(written))
      if (auto index = ResolveIndex(vars, ref->index)) name = ArrayElementName(ref->array, *index);
    const Variable* var = vars.Find(name);
    if (!var) {
      if (!ReadsWithoutReport(name)) errors.Report(code::kVariableNotInitial, name);
      return false;
    }
    if (!var->value.IsNumeric()) {
      errors.Report(code::kVariableTypeError, name);
      return false;
    }
    const uint64_t current = static_cast<uint64_t>(var->value.number), delta = static_cast<uint64_t>(step);
    const int64_t next = static_cast<int64_t>(down ? current - delta : current + delta);
    return StoreValue(vars, errors, name, Value::OfType(next, var->value.type));
  }
  return false;
}

}  // namespace kestrune::engine
