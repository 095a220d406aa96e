// The performance commands (Performance_SeqRead, _SeqWrite, _RandRead, _RandWrite, _MixReadWrite):
// each binds its parameters, picks its target by the current disk's mode, runs the throughput engine
// and prints the summary, with the chart, the CSV, the QoS file and the JSON record beside it.
#pragma once

#include <vector>

#include "engine/interpreter.h"

namespace kestrune::workloads {

std::vector<engine::HandlerRow> RegisterPerformanceCommands(engine::Interpreter& interp);

}  // namespace kestrune::workloads
