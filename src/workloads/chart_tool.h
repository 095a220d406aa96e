// The external chart tool that CSV_ShowChart prefers where it is installed: "Dor2Erode.exe" in the
// program's folder, run twice and waited for, each time with an argument vector (no shell).
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

namespace kestrune::workloads {

inline constexpr std::string_view kChartToolName = "Dor2Erode.exe";

// The two argument vectors (argument 0 first): the tool, the CSV's short path, the PNG path, the
// draw type and the title; then the same with the second picture (the PNG path with "h" after it)
// of 400 x 400 pixels ("400", "400", "0", "0" before the title). Blanks in the title become "_";
// an empty title is left out.
std::vector<std::vector<std::string>> ChartToolArguments(const std::string& tool,
                                                         const std::string& csvShortPath,
                                                         const std::string& pngPath,
                                                         std::string_view drawType, std::string_view title);

// Runs the tool once per argument vector and waits for each run (giving up when cancel turns
// true). False when a run could not be started or was given up.
bool RunChartTool(platform::ProcessLauncher& launcher, const std::string& tool,
                  const std::vector<std::vector<std::string>>& runs, const std::atomic<bool>* cancel);

}  // namespace kestrune::workloads
