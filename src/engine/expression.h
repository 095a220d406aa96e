// Reading a value text and the two evaluators of script expressions: arithmetic/text expressions
// (strictly left to right, no precedence) and conditions (comparisons folded left to right).
#pragma once

#include <string_view>

#include "engine/error_sink.h"
#include "engine/value.h"
#include "engine/variables.h"

namespace kestrune::engine {

// Reads one value text (trimmed first), trying in order: an array element "A[i]" (an array without
// a length, or of length 0, reads as "" silently), TRUE/FALSE, quoted text, a hexadecimal literal, a
// decimal literal, a variable. Anything else reports -25 with the text and gives kNone; so does a
// missing element (with the element's name). "_ErrorCheck", "_ErrorSkip" and names containing
// "_FThread" give kNone without a report.
Value ReadValue(const VarList& vars, ErrorSink& errors, std::string_view text);

// True for the names that read as no value without a report ("_ErrorCheck", "_ErrorSkip", names
// containing "_FThread").
bool ReadsWithoutReport(std::string_view name);

// Evaluates an expression into the variable target. Operands are combined strictly left to right
// with + - * / %; a text operand switches to text concatenation, after which only "+" is allowed
// (-26 otherwise). A "!", "&", "<", "=", ">" or "|" outside quotes makes the text a condition
// (EvaluateCondition). Division or remainder by zero reports -26 "Divide By 0". An operand that
// reads as no value counts as the number 0 (its -25 has been reported). After a -26 the target is
// left unchanged. Returns true when the target was stored.
bool EvaluateExpression(VarList& vars, ErrorSink& errors, std::string_view text, std::string_view target);

// Evaluates a condition into the variable target as the number 1 or 0. Operands are split at
// "!=", "<=", "==", ">=", "&&", "||", "<", ">" (any other "!", "&", "=", "|" is an invalid operator)
// and folded left to right. Two numbers compare signed or combine logically; two texts allow only
// "==" and "!=" (ignoring case); anything else reports -27 with the condition and the fold goes on.
// A lone operand must be a number (its truth), else -27 and nothing is stored. Returns true when
// the target was stored.
bool EvaluateCondition(VarList& vars, ErrorSink& errors, std::string_view text, std::string_view target);

}  // namespace kestrune::engine
