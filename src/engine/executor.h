// The statement executor: block bookkeeping, innermost-group rewriting and dispatch of one
// statement. Called by the run thread until it returns something other than kRewritten.
#pragma once

#include <string>

#include "engine/interpreter.h"

namespace kestrune::engine {

// Executes (one pass of) statement on view. statement is rewritten in place; continuation is false
// on the first pass of a statement and true on the passes after a kRewritten.
ExecResult ExecuteStatement(Interpreter& interp, uint32_t view, std::string& statement, bool continuation);

// Collapses every run of blanks and tabs outside double quotes into one blank and trims both ends.
std::string CollapseBlanks(std::string_view statement);

}  // namespace kestrune::engine
