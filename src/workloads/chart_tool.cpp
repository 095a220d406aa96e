#include "workloads/chart_tool.h"

#include <algorithm>

namespace kestrune::workloads {

std::vector<std::vector<std::string>> ChartToolArguments(const std::string& tool,
                                                         const std::string& csvShortPath,
                                                         const std::string& pngPath,
                                                         std::string_view drawType, std::string_view title) {
  std::string shownTitle(title);
  std::replace(shownTitle.begin(), shownTitle.end(), ' ', '_');
  std::vector<std::string> first{tool, csvShortPath, pngPath, std::string(drawType)};
  std::vector<std::string> second{tool,  csvShortPath, pngPath + "h", std::string(drawType),
                                  "400", "400",        "0",           "0"};
  if (!shownTitle.empty()) {
    first.push_back(shownTitle);
    second.push_back(shownTitle);
  }
  return {first, second};
}

bool RunChartTool(platform::ProcessLauncher& launcher, const std::string& tool,
                  const std::vector<std::vector<std::string>>& runs, const std::atomic<bool>* cancel) {
  for (const std::vector<std::string>& args : runs) {
    std::string error;
    std::unique_ptr<platform::Process> process = launcher.Start(tool, args, "", error);
    if (!process || !process->Wait(cancel)) return false;
  }
  return true;
}

}  // namespace kestrune::workloads
