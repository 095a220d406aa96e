#include "engine/expression.h"

#include <limits>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/literals.h"

namespace kestrune::engine {

namespace code = base::code;
using base::ContainsNoCase;
using base::EqualsNoCase;
using base::Trim;

namespace {

constexpr std::string_view kConditionChars = "!&<=>|";
constexpr std::string_view kArithmeticChars = "+-*/%";
constexpr std::string_view kBracketChars = "(){}";

bool In(std::string_view set, char c) { return set.find(c) != std::string_view::npos; }

Value LookUp(const VarList& vars, ErrorSink& errors, std::string_view name) {
  if (const Variable* v = vars.Find(name)) return v->value;
  if (!ReadsWithoutReport(name)) errors.Report(code::kVariableNotInitial, name);
  return Value::None();
}

// Two's-complement arithmetic: overflow wraps instead of being undefined, and the one quotient
// that does not fit (minimum / -1) wraps too instead of trapping.
int64_t Wrap(uint64_t v) { return static_cast<int64_t>(v); }

// The running state of one left-to-right expression.
class Accumulator {
 public:
  Accumulator(const VarList& vars, ErrorSink& errors) : vars_(vars), errors_(errors) {}

  // Applies the operand text with the pending operator; false when evaluation must stop.
  bool Apply(std::string_view operand) {
    Value v = ReadValue(vars_, errors_, operand);
    if (v.IsNone()) v = Value::Number(0);
    if (textMode_ || v.IsText()) {
      if (op_ != '+') {
        errors_.Report(code::kVariableTypeError, operand);
        return false;
      }
      if (!textMode_ && acc_ != 0) text_ = FormatNumber(acc_, ResultType());
      text_ += DisplayText(v);
      text_ = std::string(ClampChars(text_, kMaxTextChars));
      textMode_ = true;
      return true;
    }
    if (v.type == ValueType::kHex) hexSeen_ = true;
    const uint64_t a = static_cast<uint64_t>(acc_), b = static_cast<uint64_t>(v.number);
    switch (op_) {
      case '+': acc_ = Wrap(a + b); break;
      case '-': acc_ = Wrap(a - b); break;
      case '*': acc_ = Wrap(a * b); break;
      case '/':
      case '%':
        if (v.number == 0) {
          errors_.Report(code::kVariableTypeError, "Divide By 0");
          return false;
        }
        if (v.number == -1) {
          acc_ = op_ == '/' ? Wrap(0 - a) : 0;
        } else {
          acc_ = op_ == '/' ? acc_ / v.number : acc_ % v.number;
        }
        break;
    }
    return true;
  }

  void SetOperator(char op) { op_ = op; }

  Value Result() const { return textMode_ ? Value::Text(text_) : Value::OfType(acc_, ResultType()); }

 private:
  ValueType ResultType() const { return hexSeen_ ? ValueType::kHex : ValueType::kNumber; }

  const VarList& vars_;
  ErrorSink& errors_;
  int64_t acc_ = 0;
  char op_ = '+';
  bool hexSeen_ = false;
  bool textMode_ = false;
  std::string text_;
};

// The part of text before its first ";" outside double quotes, and whether a condition character
// occurs outside quotes within that part.
struct ExpressionShape {
  std::string_view body;
  bool isCondition = false;
};

ExpressionShape Shape(std::string_view text) {
  ExpressionShape shape{text, false};
  bool inQuotes = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') inQuotes = !inQuotes;
    if (inQuotes) continue;
    if (c == ';') {
      shape.body = text.substr(0, i);
      break;
    }
    if (In(kConditionChars, c)) shape.isCondition = true;
  }
  return shape;
}

bool NumericOrNone(const Value& v) { return v.IsNumeric() || v.IsNone(); }

// Compares two numbers with a valid condition operator.
int64_t CompareNumbers(std::string_view op, int64_t a, int64_t b) {
  if (op == "<") return a < b;
  if (op == ">") return a > b;
  if (op == "==") return a == b;
  if (op == "!=") return a != b;
  if (op == "<=") return a <= b;
  if (op == ">=") return a >= b;
  if (op == "&&") return a != 0 && b != 0;
  return a != 0 || b != 0;  // "||"
}

bool IsValidComparison(std::string_view op) {
  return op == "<" || op == ">" || op == "==" || op == "!=" || op == "<=" || op == ">=" || op == "&&" || op == "||";
}

}  // namespace

// The error-policy variables may be read before they exist, and the state variables of background
// file jobs are polled before the job has created them.
bool ReadsWithoutReport(std::string_view name) {
  return EqualsNoCase(name, "_ErrorCheck") || EqualsNoCase(name, "_ErrorSkip") || ContainsNoCase(name, "_FThread");
}

Value ReadValue(const VarList& vars, ErrorSink& errors, std::string_view text) {
  std::string_view t = Trim(text);
  if (auto ref = SplitElement(t)) {
    std::string name(t);
    if (auto index = ResolveIndex(vars, ref->index)) name = ArrayElementName(ref->array, *index);
    Value length = vars.Get(ArrayLengthName(ref->array));
    if (!length.IsNumeric() || length.number == 0) return Value::Text("");
    return LookUp(vars, errors, name);
  }
  if (auto word = ParseBoolWord(t)) return Value::Number(*word);
  if (auto quoted = ParseQuoted(t)) return Value{ValueType::kText, 0, std::move(*quoted)};
  if (auto number = ParseNumberLiteral(t)) return *number;
  return LookUp(vars, errors, t);
}

bool EvaluateExpression(VarList& vars, ErrorSink& errors, std::string_view text, std::string_view target) {
  const ExpressionShape shape = Shape(text);
  if (shape.isCondition) return EvaluateCondition(vars, errors, shape.body, target);

  Accumulator acc(vars, errors);
  std::string_view body = shape.body;
  std::string_view held;  // last non-empty token closed by a bracket
  size_t start = 0;
  bool inQuotes = false;
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c == '"') inQuotes = !inQuotes;
    if (inQuotes) continue;
    const bool bracket = In(kBracketChars, c);
    if (!bracket && !In(kArithmeticChars, c)) continue;
    std::string_view token = Trim(body.substr(start, i - start));
    start = i + 1;
    if (bracket) {
      // A bracket only starts a new token; the token it closes stays the operand unless a later
      // token replaces it before the next operator.
      if (!token.empty()) held = token;
      continue;
    }
    if (token.empty()) token = held.empty() ? std::string_view("0") : held;
    held = {};
    if (!acc.Apply(token)) return false;
    acc.SetOperator(c);
  }
  std::string_view last = Trim(body.substr(start));
  if (last.empty()) last = held;  // still empty: reads as "" and reports -25
  if (!acc.Apply(last)) return false;
  return StoreValue(vars, errors, target, acc.Result());
}

bool EvaluateCondition(VarList& vars, ErrorSink& errors, std::string_view text, std::string_view target) {
  const std::string_view condition = Trim(text);
  std::vector<std::string_view> operands;
  std::vector<std::string_view> operators;
  size_t start = 0;
  for (size_t i = 0; i < condition.size();) {
    char c = condition[i];
    if (!In(kConditionChars, c)) {
      ++i;
      continue;
    }
    operands.push_back(Trim(condition.substr(start, i - start)));
    size_t width = 1;
    if (i + 1 < condition.size() && (condition[i + 1] == '=' || ((c == '&' || c == '|') && condition[i + 1] == c)))
      width = 2;
    operators.push_back(condition.substr(i, width));
    i += width;
    start = i;
  }
  operands.push_back(Trim(condition.substr(start)));

  Value result = ReadValue(vars, errors, operands[0]);
  if (operators.empty()) {
    if (!NumericOrNone(result)) {
      errors.Report(code::kVariableCannotCompare, condition);
      return false;
    }
    return StoreValue(vars, errors, target, Value::Number(result.number != 0));
  }
  for (size_t k = 0; k < operators.size(); ++k) {
    Value next = ReadValue(vars, errors, operands[k + 1]);
    std::string_view op = operators[k];
    if (IsValidComparison(op) && NumericOrNone(result) && NumericOrNone(next)) {
      result = Value::Number(CompareNumbers(op, result.number, next.number));
    } else if ((op == "==" || op == "!=") && result.IsText() && next.IsText()) {
      result = Value::Number(EqualsNoCase(result.text, next.text) == (op == "=="));
    } else {
      errors.Report(code::kVariableCannotCompare, condition);
    }
  }
  // Only a failed fold can leave a text or another number here; it counts as its truth.
  return StoreValue(vars, errors, target, Value::Number(result.IsNumeric() && result.number != 0));
}

}  // namespace kestrune::engine
