// The coverage map of a finished job on the view's chart line: the map's last batch drawn, the
// picture saved as "%s.png" beside the command's other files and shown as a picture line.
#pragma once

#include <cstdint>
#include <string>

#include "workloads/coverage_map.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

// Finishes map, saves it as base + ".png" and, when that worked, adds the picture line to the view.
void ShowCoverage(engine::Interpreter& interp, uint32_t view, CoverageMap& map, const std::string& base);

}  // namespace kestrune::workloads
