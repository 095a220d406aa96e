// PCReBoot and AutoRunOnStartup, and Exit's removal of the start-again registration.
#pragma once

#include <vector>

#include "engine/interpreter.h"

namespace kestrune::app {

// Registers the two commands and the Exit hook. Needs MachineControlOf(interp) filled in before a
// run starts. Returns the rows that found no command table row.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterRebootCommands(engine::Interpreter& interp);

}  // namespace kestrune::app
