// Getting the client master trace when no copy of it is at hand. The trace is published with the
// workload's standard and is not part of the program.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

// Makes the trace file fileName available and sets path to it; 1 when it is there, else the code
// of the failure (already reported on the view). No copy can be fetched yet: a missing trace
// ends with -11 and the file's name.
int32_t ObtainClientTrace(engine::Interpreter& interp, uint32_t view, const std::string& fileName,
                          std::string& path);

}  // namespace kestrune::workloads
