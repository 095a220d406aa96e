// The script commands of the charts and CSV views that need no job engine: CSV_ShowTable,
// CSV_ShowChart and MonitorData.
#pragma once

#include <vector>

#include "engine/command_table.h"

namespace kestrune::workloads {

// Registers the handlers with the interpreter's command table; the rows that took nothing (none in
// a sound build). Call once at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterChartCommands(engine::Interpreter& interp);

}  // namespace kestrune::workloads
