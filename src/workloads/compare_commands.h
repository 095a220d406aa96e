// The compare commands: Compare_SeqReadWrite, Compare_RandReadWrite (the verify engine) and
// Compare_WithPattern. Each writes or reads data it knows, stops at the first difference and ends
// with the compare report.
#pragma once

#include <vector>

#include "engine/interpreter.h"

namespace kestrune::workloads {

std::vector<engine::HandlerRow> RegisterCompareCommands(engine::Interpreter& interp);

}  // namespace kestrune::workloads
