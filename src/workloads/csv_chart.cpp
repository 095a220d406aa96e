#include "workloads/csv_chart.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "base/text.h"
#include "workloads/throughput_chart_layout.h"

namespace kestrune::workloads {
namespace {

constexpr PlotArea kPlot{60, 25, 680, 365};
constexpr int kTitleSize = 12;
constexpr int kLegendX = kPlot.right + 10;
constexpr int kLegendStep = 14;
constexpr int kGridSteps = 5;
constexpr int kCategoryLabelWidth = 60;  // pixels a category label may take before the next one
constexpr int kShade = 3;                // depth of the 3D columns' shaded side
constexpr Colour kBackground = FromArgb(0xFF000000);
constexpr Colour kGrid = FromArgb(0xFF808080);
constexpr Colour kAxis = FromArgb(0xFFFFFFFF);
constexpr Colour kTitle{0x00FF00};
// Series colours in turn (COLORREF): green, light blue, yellow, orange, cyan, red, white.
constexpr Colour kSeriesColours[] = {{0x00FF00}, {0xFF9632}, {0x00FFFF}, {0x277FFF},
                                     {0xFFFF00}, {0x0000FF}, {0xFFFFFF}};

Colour SeriesColour(size_t index) { return kSeriesColours[index % std::size(kSeriesColours)]; }

Colour Shaded(Colour c) { return Colour{c.colorref, 128}; }

class CsvPlot {
 public:
  CsvPlot(Canvas& canvas, const CsvChartData& data)
      : canvas_(canvas),
        data_(data),
        range_(CsvValueRange(data)),
        count_(std::max<size_t>(data.categories.size(), 1)) {}

  int ValueY(double v) const {
    const double share = (v - range_.low) / (range_.high - range_.low);
    return kPlot.bottom - static_cast<int>(std::lround(share * kPlot.height()));
  }
  // The left edge of category i's slot, and the slot's width.
  int SlotX(size_t i) const { return kPlot.left + static_cast<int>(kPlot.width() * i / count_); }
  int SlotWidth() const { return std::max(kPlot.width() / static_cast<int>(count_), 1); }

  void Frame(std::string_view title) {
    canvas_.Clear(kBackground);
    canvas_.Text({kPlot.left, 4}, title, kTitleSize, kTitle);
    for (int k = 0; k <= kGridSteps; ++k) {
      const double v = range_.low + (range_.high - range_.low) * k / kGridSteps;
      const int y = ValueY(v);
      if (k > 0) canvas_.Line({kPlot.left + 1, y}, {kPlot.right, y}, kGrid, 1, Stroke::kDashed);
      canvas_.Text({kPlot.left - 4, y - kChartLabelSize / 2 - 1}, base::Format("%g", v), kChartLabelSize,
                   kGrid, Align::kRight);
    }
    canvas_.Line({kPlot.left, kPlot.top}, {kPlot.left, kPlot.bottom}, kAxis);
    canvas_.Line({kPlot.left, ValueY(0)}, {kPlot.right, ValueY(0)}, kAxis);
    const size_t every = static_cast<size_t>(std::max(1, kCategoryLabelWidth / SlotWidth()));
    for (size_t i = 0; i < data_.categories.size(); i += every)
      canvas_.Text({SlotX(i), kPlot.bottom + 3}, data_.categories[i], kChartLabelSize, kGrid);
    for (size_t s = 0; s < data_.series.size(); ++s)
      canvas_.Text({kLegendX, kPlot.top + kLegendStep * static_cast<int>(s)}, data_.series[s].name,
                   kChartLabelSize, SeriesColour(s));
  }

  void Columns(bool shaded) {
    const size_t seriesCount = std::max<size_t>(data_.series.size(), 1);
    const int barWidth = std::max(SlotWidth() * 4 / 5 / static_cast<int>(seriesCount), 1);
    const int zeroY = ValueY(0);
    for (size_t s = 0; s < data_.series.size(); ++s) {
      for (size_t i = 0; i < data_.series[s].values.size(); ++i) {
        const std::optional<double>& v = data_.series[s].values[i];
        if (!v) continue;
        const int y = ValueY(*v);
        const Rect bar{SlotX(i) + SlotWidth() / 10 + barWidth * static_cast<int>(s), std::min(y, zeroY),
                       barWidth, std::max(std::abs(zeroY - y), 1)};
        if (shaded)
          canvas_.FillRectangle({bar.x + kShade, bar.y - kShade, bar.width, bar.height},
                                Shaded(SeriesColour(s)));
        canvas_.FillRectangle(bar, SeriesColour(s));
      }
    }
  }

  void Lines() {
    for (size_t s = 0; s < data_.series.size(); ++s) {
      std::optional<Point> last;
      for (size_t i = 0; i < data_.series[s].values.size(); ++i) {
        const std::optional<double>& v = data_.series[s].values[i];
        if (!v) {
          last.reset();
          continue;
        }
        const Point p{SlotX(i) + SlotWidth() / 2, ValueY(*v)};
        canvas_.Line(last.value_or(p), p, SeriesColour(s));
        canvas_.FillRectangle({p.x - 1, p.y - 1, 3, 3}, SeriesColour(s));
        last = p;
      }
    }
  }

 private:
  Canvas& canvas_;
  const CsvChartData& data_;
  ValueRange range_;
  size_t count_;
};

}  // namespace

void DrawCsvChart(Canvas& canvas, const CsvChartData& data, CsvDrawType type, std::string_view title) {
  CsvPlot plot(canvas, data);
  plot.Frame(title);
  if (type == CsvDrawType::kSpline2D)
    plot.Lines();
  else
    plot.Columns(type != CsvDrawType::kColumn2D);
}

bool SaveCsvChart(const CsvChartData& data, CsvDrawType type, std::string_view title,
                  const std::string& pngPath) {
  std::unique_ptr<Canvas> canvas = CreateCanvas(kCsvChartWidth, kCsvChartHeight);
  if (!canvas) return false;
  DrawCsvChart(*canvas, data, type, title);
  return canvas->SavePng(pngPath);
}

}  // namespace kestrune::workloads
