// The endurance workload commands JEDEC219A_Enterprise (a synthesised mix of sizes and places) and
// JEDEC219A_Client (the client master trace replayed into the target range). Both pick their target
// by the current disk's mode (job_target.h), post their progress to the status line and draw the
// coverage map of what they touched.
#pragma once

#include <vector>

#include "engine/interpreter.h"

namespace kestrune::workloads {

std::vector<engine::HandlerRow> RegisterJedecCommands(engine::Interpreter& interp);

}  // namespace kestrune::workloads
