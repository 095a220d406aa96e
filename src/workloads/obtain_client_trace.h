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
// of the failure (already reported on the view). The master trace (the default name) is fetched
// from the station's LAN file server into the work folder; any other missing trace ends with -11
// and the file's name, as does a fetch that fails (with its reason).
int32_t ObtainClientTrace(engine::Interpreter& interp, uint32_t view, const std::string& fileName,
                          std::string& path);

}  // namespace kestrune::workloads
