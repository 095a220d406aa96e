// The script-facing NVMe command set: raw commands, log pages, features, Identify and the log-page
// decoders, safe removal and the security erase.
#pragma once

#include <vector>

#include "engine/command_table.h"

namespace kestrune::devcmd {

// Registers every NVMe command handler with the interpreter's command table (the NVMe rows, device
// flag 241); the rows that took nothing (none in a sound build). Call once at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterNvmeCommands(engine::Interpreter& interp);

}  // namespace kestrune::devcmd
