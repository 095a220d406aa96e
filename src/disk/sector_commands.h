// The block I/O commands of the current disk: LBARead, LBAWrite, TRIM and FlushCache.
#pragma once

#include <vector>

#include "engine/command_table.h"

namespace kestrune::disk {

// Registers the handlers with the interpreter's command table; the rows that took nothing (none in
// a sound build). Call once at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterSectorCommands(engine::Interpreter& interp);

}  // namespace kestrune::disk
