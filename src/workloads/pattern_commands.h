// The script commands built directly on the data patterns: FullByPattern (fill a range of the disk
// with a pattern, each sector marked with its LBA on request) and FindLBA_ByPattern (search the disk
// for a byte string).
#pragma once

#include <vector>

#include "engine/command_table.h"

namespace kestrune::workloads {

// Registers the handlers with the interpreter's command table; the rows that took nothing (none in
// a sound build). Call once at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterPatternCommands(engine::Interpreter& interp);

}  // namespace kestrune::workloads
