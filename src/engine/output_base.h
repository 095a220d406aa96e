// The output base name of a command: the path, without extension, of the files it produces.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune::engine {

class Interpreter;

// "R%010llu" of the view's output-line counter in the view's log folder; in a child run started with
// a SUBBASE, that base name instead (so that the parent finds the child's files).
std::string OutputBaseName(Interpreter& interp, uint32_t view);

}  // namespace kestrune::engine
