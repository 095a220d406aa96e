// Parse_FileHex: a data file decoded by a structure definition file.
#pragma once

#include <vector>

#include "engine/interpreter.h"

namespace kestrune::devcmd {

std::vector<engine::HandlerRow> RegisterParseCommands(engine::Interpreter& interp);

}  // namespace kestrune::devcmd
