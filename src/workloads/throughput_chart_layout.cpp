#include "workloads/throughput_chart_layout.h"

#include <algorithm>

#include "base/text.h"
#include "workloads/job_stats.h"

namespace kestrune::workloads {
namespace {

constexpr uint64_t kHeadroomKBps = 10240;
constexpr uint32_t kGridLines = 5;
constexpr uint32_t kDegreesPerLine = 25;
constexpr uint32_t kTopDegrees = kDegreesPerLine * kGridLines;  // 125
constexpr uint64_t kMsPerMinute = 60000;
constexpr int kMinLabelGap = 50;

using u128 = unsigned __int128;

// offset + span x part / whole, in 128 bits, with part at most whole.
int Proportion(int from, int span, uint64_t part, uint64_t whole) {
  part = std::min(part, whole);
  return from + static_cast<int>(static_cast<u128>(span) * part / whole);
}

}  // namespace

uint64_t FullScaleKBps(uint64_t maxKBps) { return std::max(kHeadroomKBps, maxKBps + kHeadroomKBps); }

int ScaleY(uint64_t value, uint64_t fullScale, const PlotArea& plot) {
  if (fullScale == 0) return plot.bottom;
  return plot.bottom - Proportion(0, plot.height(), value, fullScale);
}

int SpanX(uint64_t bytes, uint64_t spanBytes, const PlotArea& plot) {
  if (spanBytes == 0) return plot.left;
  return Proportion(plot.left, plot.width(), bytes, spanBytes);
}

std::optional<int> TemperatureY(uint16_t reading, uint32_t offset, const PlotArea& plot) {
  if (reading == 0) return std::nullopt;
  const uint64_t degrees = reading > offset ? reading - offset : 0;
  return ScaleY(degrees, kTopDegrees, plot);
}

std::vector<GridLine> ThroughputGrid(uint64_t fullScaleKBps, uint32_t accessSize, bool temperatures,
                                     const PlotArea& plot) {
  std::vector<GridLine> lines;
  for (uint32_t k = 1; k <= kGridLines; ++k) {
    const uint64_t kbps = static_cast<uint64_t>(static_cast<u128>(fullScaleKBps) * k / kGridLines);
    GridLine line;
    line.y = ScaleY(k, kGridLines, plot);
    line.mbps = base::Format("%llu", static_cast<unsigned long long>(kbps / 1024));
    line.iops = base::Format("%llu", static_cast<unsigned long long>(IoPerSecond(kbps, accessSize)));
    if (temperatures) line.temperature = base::Format("%3u'C", kDegreesPerLine * k);
    lines.push_back(std::move(line));
  }
  return lines;
}

std::optional<MinuteMark> MinuteMarker::Next(uint64_t ms, int x) {
  const uint64_t minute = ms / kMsPerMinute;
  if (minute <= minute_) return std::nullopt;
  minute_ = minute;
  MinuteMark mark{x, {}};
  if (minute % 2 == 0 && (!lastLabelX_ || x > *lastLabelX_ + kMinLabelGap)) {
    mark.label = base::Format("%llumin", static_cast<unsigned long long>(minute));
    lastLabelX_ = x;
  }
  return mark;
}

}  // namespace kestrune::workloads
