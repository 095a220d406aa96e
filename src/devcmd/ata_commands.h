// The script-facing ATA command set of SATA drives (device flag 240): the raw ATA command, sector
// reads and writes by ATA protocol, Identify and the IDENTIFY DEVICE word dump, SMART and its
// self-tests, the power commands and the security erase.
#pragma once

#include <vector>

#include "engine/command_table.h"

namespace kestrune::devcmd {

// Registers every ATA command handler; the rows that took nothing (none in a sound build). Call once
// at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterAtaCommands(engine::Interpreter& interp);

}  // namespace kestrune::devcmd
