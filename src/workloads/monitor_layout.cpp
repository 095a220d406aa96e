#include "workloads/monitor_layout.h"

#include <iterator>

#include "base/text.h"

namespace kestrune::workloads {
namespace {

constexpr int kTopDegrees = 120;
constexpr int kZeroDegreesY = 134;  // the y of 0 degrees
constexpr int kDegreesSpanY = 129;  // pixels from 0 to 120 degrees
constexpr int kDegreeStep = 20;
constexpr uint32_t kWantedLabels = 20;
constexpr uint32_t kMinute = 60;
constexpr uint32_t kHour = 3600;
constexpr uint32_t kTimeSteps[] = {
    1,       2,           5,           10,           15,           30,
    kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour,   2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   24 * kHour};
constexpr size_t kSensors = 8;

}  // namespace

int MonitorX(uint32_t second, uint32_t limitSec) {
  if (limitSec == 0) return kMonitorPlot.left;
  return static_cast<int>(uint64_t{second} * kMonitorPlot.width() / limitSec) + kMonitorPlot.left;
}

int MonitorY(int32_t celsius) { return kZeroDegreesY - celsius * kDegreesSpanY / kTopDegrees; }

int32_t CelsiusOf(uint16_t kelvin) { return kelvin == 0 ? 0 : static_cast<int32_t>(kelvin) - 273; }

std::vector<AxisLabel> MonitorTemperatureLabels() {
  std::vector<AxisLabel> labels;
  for (int c = 0; c <= kTopDegrees; c += kDegreeStep) labels.push_back({MonitorY(c), base::Format("%3d", c)});
  return labels;
}

uint32_t MonitorTimeStep(uint32_t limitSec) {
  for (uint32_t step : kTimeSteps)
    if (limitSec / step <= kWantedLabels) return step;
  return kTimeSteps[std::size(kTimeSteps) - 1];
}

std::vector<AxisLabel> MonitorTimeLabels(uint32_t limitSec) {
  const uint32_t step = MonitorTimeStep(limitSec);
  std::vector<AxisLabel> labels;
  for (uint64_t t = 0; t <= limitSec; t += step) {
    const auto s = static_cast<uint32_t>(t);
    std::string text = step < kMinute ? base::Format("%u", s)
                       : step < kHour ? base::Format("%umin", s / kMinute)
                                      : base::Format("%uhr", s / kHour);
    labels.push_back({MonitorX(s, limitSec), std::move(text)});
  }
  return labels;
}

std::vector<std::string> SplitMonitorItems(std::string_view text) {
  std::vector<std::string> names;
  for (;;) {
    const size_t bar = text.find('|');
    std::string_view name = base::Trim(text.substr(0, bar));
    if (!name.empty()) names.emplace_back(name);
    if (bar == std::string_view::npos) return names;
    text.remove_prefix(bar + 1);
  }
}

std::optional<size_t> TemperatureIndexOf(std::string_view name) {
  if (base::EqualsNoCase(name, "T-Composite")) return 0;
  for (size_t n = 1; n <= kSensors; ++n)
    if (base::EqualsNoCase(name, base::Format("T-Sensor%zu", n))) return n;
  return std::nullopt;
}

}  // namespace kestrune::workloads
