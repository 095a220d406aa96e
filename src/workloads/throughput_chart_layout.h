// Where things go on the throughput chart (800 x 400 pixels): the plot area, the value scale and its
// grid labels (MB/s on the left, IO/s on the right, temperatures beside them), the x position of a
// sample from the bytes moved, and the minute marks. Pure functions of numbers, so that the scales
// and texts are tested without drawing anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::workloads {

inline constexpr int kThroughputChartWidth = 800;
inline constexpr int kThroughputChartHeight = 400;

// A plot's edges in pixels, all inclusive: the vertical axis lies on left, the time axis on bottom.
struct PlotArea {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  constexpr int width() const { return right - left; }
  constexpr int height() const { return bottom - top; }
};

// The axes run from (39, 5) down and across; the space right of the plot holds the IO/s and
// temperature labels, the space below it the minute labels and the axis titles.
inline constexpr PlotArea kThroughputPlot{39, 5, 700, 375};

// The pixel size of the chart's labels, the top of the bottom row of titles ("MB/s", "IO/s",
// "Temp") and of the minute labels under the time axis.
inline constexpr int kChartLabelSize = 10;
inline constexpr int kTitleRowY = 387;
inline constexpr int kMinuteLabelY = kThroughputPlot.bottom + 2;

// The full scale in KiB/s: the larger of 10240 and the highest read + write rate plus 10240.
uint64_t FullScaleKBps(uint64_t maxKBps);

// The y of value on a scale whose top is fullScale (values above it stay at the top).
int ScaleY(uint64_t value, uint64_t fullScale, const PlotArea& plot = kThroughputPlot);

// The x of a sample that had moved bytes of the spanBytes the plot spans (past the end: the right
// edge; a span of 0: the left edge).
int SpanX(uint64_t bytes, uint64_t spanBytes, const PlotArea& plot = kThroughputPlot);

// The y of a temperature reading on the 0 to 125 degree scale, after subtracting offset (273 for a
// reading in kelvin); nullopt for a reading of 0 (not read in that sample).
std::optional<int> TemperatureY(uint16_t reading, uint32_t offset, const PlotArea& plot = kThroughputPlot);

// One of the five grid lines, at k fifths of the full scale (k = 1 .. 5, bottom to top), with its
// labels: MB/s ("%d", whole MiB/s), IO/s ("%llu", for the access size) and, when temperatures
// were read, "%3d'C" (25 x k).
struct GridLine {
  int y = 0;
  std::string mbps;
  std::string iops;
  std::string temperature;  // empty without temperatures
};
std::vector<GridLine> ThroughputGrid(uint64_t fullScaleKBps, uint32_t accessSize, bool temperatures,
                                     const PlotArea& plot = kThroughputPlot);

// A vertical mark where a new minute of the chart's time begins; label "%dmin" on every second
// minute that lies more than 50 pixels right of the previous label, else empty.
struct MinuteMark {
  int x = 0;
  std::string label;
  bool operator==(const MinuteMark&) const = default;
};

// Finds the minute marks along the samples of a chart, fed in time order.
class MinuteMarker {
 public:
  // The mark of a sample taken ms milliseconds into the chart's time and drawn at x; nullopt when
  // it lies in the same minute as the sample before.
  std::optional<MinuteMark> Next(uint64_t ms, int x);

 private:
  uint64_t minute_ = 0;
  std::optional<int> lastLabelX_;
};

}  // namespace kestrune::workloads
