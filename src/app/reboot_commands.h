// The machine's power commands: PCReBoot and AutoRunOnStartup with Exit's removal of the start-again
// registration, and the sleep commands.
#pragma once

#include <vector>

#include "engine/interpreter.h"

namespace kestrune::app {

// Registers the two commands and the Exit hook. Needs MachineControlOf(interp) filled in before a
// run starts. Returns the rows that found no command table row.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterRebootCommands(engine::Interpreter& interp);

// PowerState_S3S4, OneShot_S3S4, IsS3S4Running (sleep_commands.cpp), with their run-end hook.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterSleepCommands(engine::Interpreter& interp);

}  // namespace kestrune::app
