#include "workloads/monitor_chart.h"

#include <algorithm>

#include "workloads/monitor_layout.h"

namespace kestrune::workloads {
namespace {

constexpr const PlotArea& kPlot = kMonitorPlot;
constexpr int kLegendStep = 12;
constexpr int kLabelRowY = kPlot.bottom + 2;
constexpr Colour kBackground = FromArgb(0xFF000000);
constexpr Colour kGrid = FromArgb(0xFF808080);
constexpr Colour kAxis = FromArgb(0xFFFFFFFF);

}  // namespace

MonitorChart::MonitorChart(const std::vector<std::string>& names, uint32_t limitSec)
    : canvas_(CreateCanvas(kMonitorWidth, kMonitorHeight)),
      limitSec_(limitSec),
      last_(std::min(names.size(), kMaxMonitorItems)) {
  if (canvas_) DrawFrame(names);
}

void MonitorChart::DrawFrame(const std::vector<std::string>& names) {
  Canvas& c = *canvas_;
  c.Clear(kBackground);
  for (const AxisLabel& label : MonitorTemperatureLabels()) {
    if (label.position < kPlot.bottom)
      c.Line({kPlot.left + 1, label.position}, {kPlot.right, label.position}, kGrid, 1, Stroke::kDashed);
    c.Text({kPlot.left - 4, label.position - kChartLabelSize / 2 - 1}, label.text, kChartLabelSize, kGrid,
           Align::kRight);
  }
  c.Text({2, kLabelRowY + 1}, "0'C", kChartLabelSize, kGrid);
  for (const AxisLabel& label : MonitorTimeLabels(limitSec_))
    c.Text({label.position - 2, kLabelRowY}, label.text, kChartLabelSize, kGrid);
  c.Text({kPlot.right + 20, kLabelRowY}, "Sec", kChartLabelSize, kGrid);  // clear of the last label
  c.Line({kPlot.left, kPlot.top}, {kPlot.left, kPlot.bottom}, kAxis);
  c.Line({kPlot.left, kPlot.bottom}, {kPlot.right, kPlot.bottom}, kAxis);
  for (size_t i = 0; i < last_.size(); ++i)
    c.Text({kPlot.right, kPlot.top + kLegendStep * static_cast<int>(i)}, names[i], kChartLabelSize,
           kMonitorColours[i]);
}

void MonitorChart::Add(uint32_t second, const std::vector<int32_t>& celsius) {
  const int x = MonitorX(second, limitSec_);
  for (size_t i = 0; i < last_.size() && i < celsius.size(); ++i) {
    const Point p{x, MonitorY(celsius[i])};
    if (canvas_) canvas_->Line(last_[i].value_or(p), p, kMonitorColours[i]);
    last_[i] = p;
  }
}

bool MonitorChart::Save(const std::string& pngPath) { return canvas_ && canvas_->SavePng(pngPath); }

}  // namespace kestrune::workloads
