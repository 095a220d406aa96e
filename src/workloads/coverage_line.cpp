#include "workloads/coverage_line.h"

#include "engine/interpreter.h"
#include "engine/output.h"

namespace kestrune::workloads {

namespace {
constexpr int32_t kChartLineHeight = 150;
}

void ShowCoverage(engine::Interpreter& interp, uint32_t view, CoverageMap& map, const std::string& base) {
  map.Finish();
  const std::string png = base + ".png";
  if (map.Save(png))
    interp.writer().WriteLine(interp.output(view), png, engine::kDetail, kChartLineHeight,
                              engine::colour::kLightBlue, engine::kPicture);
}

}  // namespace kestrune::workloads
