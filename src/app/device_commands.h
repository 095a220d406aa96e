// The command handlers start-up registers above the engine's own built-ins: the disk, sector, NVMe
// and chart commands.
#pragma once

#include <vector>

#include "engine/command_table.h"

namespace kestrune::app {

// Registers the disk, sector, NVMe and chart command handlers; the rows that took nothing (none in
// a sound build). Call once at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterDeviceCommands(engine::Interpreter& interp);

}  // namespace kestrune::app
