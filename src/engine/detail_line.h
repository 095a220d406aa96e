// One detail line of a view's output (level 10, the given colour): what most command handlers print.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrune::engine {

class Interpreter;

// Writes text as a detail line of view. Any thread that may write the view's output.
void DetailLine(Interpreter& interp, uint32_t view, std::string_view text, uint32_t colour);

}  // namespace kestrune::engine
