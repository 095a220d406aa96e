#include "workloads/throughput_chart.h"

#include <algorithm>
#include <optional>

#include "workloads/throughput_chart_layout.h"

namespace kestrune::workloads {
namespace {

constexpr const PlotArea& kPlot = kThroughputPlot;
constexpr int kIopsLineWidth = 3;  // drawn under the MB/s line, which it follows closely
constexpr int kDotSize = 3;
constexpr int kTemperatureDotCount = 4;  // composite and sensors 1 to 3

uint64_t ReadWriteKBps(const SamplePoint& s) { return s.readKBps + s.writeKBps; }
uint64_t ReadWriteIOps(const SamplePoint& s) { return s.readIOps + s.writeIOps; }

uint64_t MaxKBps(std::span<const SamplePoint> samples) {
  uint64_t most = 0;
  for (const SamplePoint& s : samples) most = std::max(most, ReadWriteKBps(s));
  return most;
}

void DrawFrame(Canvas& canvas, const ThroughputChartRecord& record, uint64_t fullScale) {
  const int width = canvas.width();
  for (const GridLine& line : ThroughputGrid(fullScale, record.accessSize, record.temperatures)) {
    canvas.Line({kPlot.left + 1, line.y}, {kPlot.right, line.y}, kChartGrid, 1, Stroke::kDashed);
    const int labelTop = line.y - kChartLabelSize / 2 - 1;
    canvas.Text({kPlot.left - 3, labelTop}, line.mbps, kChartLabelSize, kMbpsLine, Align::kRight);
    canvas.Text({kPlot.right + 4, labelTop}, line.iops, kChartLabelSize, kIopsLine);
    if (record.temperatures)
      canvas.Text({width - 2, labelTop}, line.temperature, kChartLabelSize, kTemperatureDots[0],
                  Align::kRight);
  }
  canvas.Line({kPlot.left, kPlot.top}, {kPlot.left, kPlot.bottom}, kChartAxis);
  canvas.Line({kPlot.left, kPlot.bottom}, {kPlot.right, kPlot.bottom}, kChartAxis);
  canvas.Text({4, kTitleRowY}, "MB/s", kChartLabelSize, kMbpsLine);
  canvas.Text({width - 50, kTitleRowY}, "IO/s", kChartLabelSize, kIopsLine);
  // "Temp" sits one row above "IO/s", at the right edge under the temperature labels.
  if (record.temperatures)
    canvas.Text({width - 2, kTitleRowY - kChartLabelSize - 2}, "Temp", kChartLabelSize, kTemperatureDots[0],
                Align::kRight);
}

void DrawMinuteMark(Canvas& canvas, const MinuteMark& mark) {
  canvas.Line({mark.x, kPlot.top}, {mark.x, kPlot.bottom - 1}, kChartGrid, 1, Stroke::kDashed);
  if (!mark.label.empty()) canvas.Text({mark.x + 2, kMinuteLabelY}, mark.label, kChartLabelSize, kChartGrid);
}

void DrawTemperatures(Canvas& canvas, const ThroughputChartRecord& record, const SamplePoint& s, int x) {
  for (int i = 0; i < kTemperatureDotCount; ++i) {
    std::optional<int> y = TemperatureY(s.temperatures[static_cast<size_t>(i)], record.temperatureOffset);
    if (y)
      canvas.FillRectangle({x - kDotSize / 2, *y - kDotSize / 2, kDotSize, kDotSize}, kTemperatureDots[i]);
  }
}

}  // namespace

void DrawThroughputChart(Canvas& canvas, const ThroughputChartRecord& record) {
  canvas.Clear(kChartBackground);
  const uint64_t fullScale = FullScaleKBps(MaxKBps(record.samples));
  const uint64_t fullScaleIOps = std::max<uint64_t>(IoPerSecond(fullScale, record.accessSize), 1);
  DrawFrame(canvas, record, fullScale);

  const bool wholeJob = record.span == ChartSpan::kJob;
  MinuteMarker minutes;
  std::optional<Point> lastMbps, lastIops;
  for (const SamplePoint& s : record.samples) {
    const int x = SpanX(wholeJob ? s.jobBytes : s.cycleBytes, record.spanBytes);
    if (std::optional<MinuteMark> mark = minutes.Next(wholeJob ? s.jobMs : s.cycleMs, x))
      DrawMinuteMark(canvas, *mark);
    const Point mbps{x, ScaleY(ReadWriteKBps(s), fullScale)};
    const Point iops{x, ScaleY(ReadWriteIOps(s), fullScaleIOps)};
    canvas.Line(lastIops.value_or(iops), iops, kIopsLine, kIopsLineWidth);
    canvas.Line(lastMbps.value_or(mbps), mbps, kMbpsLine);
    lastMbps = mbps;
    lastIops = iops;
    if (record.temperatures) DrawTemperatures(canvas, record, s, x);
  }
}

bool SaveThroughputChart(const ThroughputChartRecord& record, const std::string& pngPath) {
  std::unique_ptr<Canvas> canvas = CreateCanvas(kThroughputChartWidth, kThroughputChartHeight);
  if (!canvas) return false;
  DrawThroughputChart(*canvas, record);
  return canvas->SavePng(pngPath);
}

}  // namespace kestrune::workloads
