// The handlers that RegisterPatternCommands puts into the command table, one per command; each file
// that implements one declares it here.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

// full_by_pattern_command.cpp
void FullByPattern(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);
// find_lba_command.cpp
void FindLbaByPattern(engine::Interpreter& interp, uint32_t view, std::string_view args,
                      std::string_view name);

}  // namespace kestrune::workloads
