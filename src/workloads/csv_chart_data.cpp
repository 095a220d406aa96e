#include "workloads/csv_chart_data.h"

#include <algorithm>
#include <charconv>

#include "base/text.h"

namespace kestrune::workloads {
namespace {

constexpr struct {
  const char* name;
  CsvDrawType type;
} kDrawTypes[] = {
    {"Column_3DR", CsvDrawType::kColumn3DR},
    {"Column_3D", CsvDrawType::kColumn3D},
    {"Column_2D", CsvDrawType::kColumn2D},
    {"Spline_2D", CsvDrawType::kSpline2D},
};

// A cell's number: the whole cell, blanks around it allowed.
std::optional<double> NumberOf(std::string_view cell) {
  cell = base::Trim(cell);
  if (!cell.empty() && cell.front() == '+') cell.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (cell.empty() || ec != std::errc() || end != cell.data() + cell.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<CsvDrawType> ParseDrawType(std::string_view text) {
  for (const auto& row : kDrawTypes)
    if (base::EqualsNoCase(text, row.name)) return row.type;
  return std::nullopt;
}

CsvChartData CsvChartDataOf(const std::vector<CsvRow>& rows) {
  CsvChartData data;
  if (rows.empty()) return data;
  for (size_t i = 1; i < rows.front().size(); ++i) data.series.push_back({rows.front()[i], {}});
  for (size_t r = 1; r < rows.size(); ++r) {
    const CsvRow& row = rows[r];
    data.categories.push_back(row.front());
    for (size_t s = 0; s < data.series.size(); ++s)
      data.series[s].values.push_back(s + 1 < row.size() ? NumberOf(row[s + 1]) : std::nullopt);
  }
  return data;
}

ValueRange CsvValueRange(const CsvChartData& data) {
  ValueRange range{0, 0};
  for (const CsvSeries& series : data.series)
    for (const std::optional<double>& v : series.values)
      if (v) range = {std::min(range.low, *v), std::max(range.high, *v)};
  if (range.high <= range.low) range.high = range.low + 1;
  return range;
}

}  // namespace kestrune::workloads
