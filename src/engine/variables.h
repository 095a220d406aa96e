// The per-view variable store and the statements that work on it: arrays, list assignment,
// increments, assignment, the fresh "_Varible" names of statement rewriting and ArrayLen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/error_sink.h"
#include "engine/value.h"

namespace kestrune::engine {

struct Variable {
  std::string name;  // as first written; looked up without regard to case
  Value value;
};

// The variables of one view, in creation order. Owned by the view's run thread.
class VarList {
 public:
  // Upper bound on the number of variables, so that a runaway loop cannot exhaust memory.
  static constexpr size_t kMaxVariables = 131072;

  // Removes every variable.
  void Clear();
  size_t Size() const { return vars_.size(); }
  // All variables in creation order (for saving a run across a reboot).
  const std::vector<Variable>& Items() const { return vars_; }

  // The variable named name (case-insensitive), or nullptr. The pointer is valid until the next
  // change of the store.
  const Variable* Find(std::string_view name) const;
  // The value of the variable named name; a kNone value when there is none.
  Value Get(std::string_view name) const;

  // Replaces the value of the variable named name, or appends a new variable. A text is cut to
  // kMaxTextChars characters; a kNone value is stored as the number 0. Returns false (and changes
  // nothing) only when a new variable would exceed kMaxVariables.
  bool Set(std::string_view name, Value value);
  bool SetNumber(std::string_view name, int64_t n, ValueType type = ValueType::kNumber) {
    return Set(name, Value::OfType(n, type));
  }
  bool SetText(std::string_view name, std::string_view text) { return Set(name, Value::Text(text)); }

  // Gives the variable named from the name to; a different variable already named to is removed
  // first. Returns false when there is no variable named from.
  bool Rename(std::string_view from, std::string_view to);

 private:
  void Reindex();

  std::vector<Variable> vars_;
  std::unordered_map<std::string, size_t> index_;  // lower-cased name -> position in vars_
};

// VarList::Set, reporting a full store as -2. Returns whether the value was stored.
bool StoreValue(VarList& vars, ErrorSink& errors, std::string_view name, Value value);

// Arrays: array "A" is the elements "A[0]", "A[1]", ..., the length variable "A[0xEFFFFFFF]" (a
// number) and the marker "A[]" whose text is "A[]", so that "A[]" read as a value names the array.
inline constexpr int64_t kMaxArrayIndex = 65535;  // highest element index a statement may write
inline constexpr size_t kMaxListItems = 50;       // items of one list assignment; the last takes the rest

std::string ArrayElementName(std::string_view array, int64_t index);
std::string ArrayLengthName(std::string_view array);
std::string ArrayMarkerName(std::string_view array);

// A text that contains "[" and ends with "]", split at its first "[" into the array name and the
// index text between that "[" and the last "]" (both trimmed).
struct ElementRef {
  std::string_view array;
  std::string_view index;
};
std::optional<ElementRef> SplitElement(std::string_view text);

// The index an index text stands for without reporting anything: the value of a number variable of
// that name, else the value of a number literal; nullopt otherwise.
std::optional<int64_t> ResolveIndex(const VarList& vars, std::string_view indexText);

// Next fresh name "_Varible%d" for statement rewriting. The counter is process-wide and runs from 0
// to 999, then starts at 0 again. Thread-safe.
std::string NextFreshName();

// ArrayLen: arrayText is the converted Array argument (the marker text "A[]"). Without "[]" the
// length is 0; otherwise the value of the array's length variable. An array without one reports
// -25 "No Found Array" and gives nullopt.
std::optional<int64_t> ArrayLength(const VarList& vars, ErrorSink& errors, std::string_view arrayText);

// True for the list commands whose result variable an "A[] = Name;" assignment splits
// (compared case-sensitively).
bool IsListCommandName(std::string_view name);

// Assignment statement "target = expression;" (the expression ends at the first ";" outside quotes,
// or at the end). A target "A[]" splits a list into at most kMaxListItems elements of the array A and
// sets its length to their count (elements above it stay); a target "A[i]" whose index reads as a
// number names the element "A[n]" and leaves the length alone. Failures are reported; returns true
// when a value was stored.
bool RunAssignment(VarList& vars, ErrorSink& errors, std::string_view statement);

// True for an increment statement: no double quote and one of "++", "--", "+=", "-=".
bool IsIncrementStatement(std::string_view statement);

// Increment statement: "name++", "name--", "name += n;" or "name -= n;" with n a number literal.
// The variable keeps its type. Returns true when the variable was changed.
bool RunIncrement(VarList& vars, ErrorSink& errors, std::string_view statement);

}  // namespace kestrune::engine
