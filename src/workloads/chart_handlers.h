// The handlers that RegisterChartCommands puts into the command table, one per command; each file
// that implements one declares it here.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

// csv_commands.cpp
void CsvShowTable(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);
void CsvShowChart(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);
// monitor_command.cpp
void MonitorData(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);

}  // namespace kestrune::workloads
