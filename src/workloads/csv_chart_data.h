// What a chart of a CSV file shows: the first row names the series (the columns after the first),
// the first cell of every other row is its category (the x axis), and the other cells are the
// series' values (a cell that is not a number leaves a gap). Pure code, tested without drawing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workloads/csv_cells.h"

namespace kestrune::workloads {

// The chart kinds CSV_ShowChart accepts: "Column_3DR", "Column_3D", "Column_2D", "Spline_2D".
enum class CsvDrawType { kColumn3DR, kColumn3D, kColumn2D, kSpline2D };

// The kind a DrawType text names (without regard to case); nullopt for any other text.
std::optional<CsvDrawType> ParseDrawType(std::string_view text);

struct CsvSeries {
  std::string name;
  std::vector<std::optional<double>> values;  // one per category
};

struct CsvChartData {
  std::vector<std::string> categories;
  std::vector<CsvSeries> series;
};

CsvChartData CsvChartDataOf(const std::vector<CsvRow>& rows);

// The value scale of a chart: from the smaller of 0 and the lowest value to the highest value (or
// low + 1 when nothing lies above low).
struct ValueRange {
  double low = 0;
  double high = 1;
  bool operator==(const ValueRange&) const = default;
};
ValueRange CsvValueRange(const CsvChartData& data);

}  // namespace kestrune::workloads
