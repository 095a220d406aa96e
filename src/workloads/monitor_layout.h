// The temperature chart of MonitorData: a plot from x = 40 to 920 and y = 5 to 135, 0 to 120 degrees
// Celsius up the side in steps of 20, the seconds of the run along the bottom, and a legend of the
// items at x = 920. Pure functions, tested without drawing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workloads/canvas.h"
#include "workloads/throughput_chart_layout.h"

namespace kestrune::workloads {

inline constexpr int kMonitorWidth = 1000;
inline constexpr int kMonitorHeight = 150;
inline constexpr PlotArea kMonitorPlot{40, 5, 920, 135};
inline constexpr size_t kMaxMonitorItems = 3;

// Item colours by position: yellow, yellow-green, orange.
inline constexpr Colour kMonitorColours[kMaxMonitorItems] = {FromArgb(0xFFFFFF00), FromArgb(0xFF9ACD32),
                                                             FromArgb(0xFFFFA500)};

// The x of a reading taken second seconds into a run of limitSec seconds: second x 880 / limitSec + 40.
int MonitorX(uint32_t second, uint32_t limitSec);
// The y of a temperature in degrees Celsius: 134 - celsius x 129 / 120.
int MonitorY(int32_t celsius);
// Degrees Celsius of a reading in kelvin; a reading of 0 (none) stays 0.
int32_t CelsiusOf(uint16_t kelvin);

// A label along an axis: its position (y for the temperature axis, x for the time axis) and text.
struct AxisLabel {
  int position = 0;
  std::string text;
  bool operator==(const AxisLabel&) const = default;
};

// "%3d" at 0, 20, ... 120 degrees.
std::vector<AxisLabel> MonitorTemperatureLabels();

// The step in seconds between time labels: the first of 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15,
// 30 min, 1, 2, 3, 6, 12, 24 h that puts at most about twenty labels on the axis.
uint32_t MonitorTimeStep(uint32_t limitSec);

// The time labels from 0 to limitSec every MonitorTimeStep: "%d" seconds while the step is below a
// minute, "%dmin" while it is below an hour, else "%dhr".
std::vector<AxisLabel> MonitorTimeLabels(uint32_t limitSec);

// The names of a MonitorItem text: split at "|", blanks trimmed, empty names dropped.
std::vector<std::string> SplitMonitorItems(std::string_view text);

// The index of a temperature among the nine a SMART / Health page holds (0 "T-Composite", n
// "T-Sensor<n>" for n = 1 .. 8), names without regard to case; nullopt for any other name.
std::optional<size_t> TemperatureIndexOf(std::string_view name);

}  // namespace kestrune::workloads
