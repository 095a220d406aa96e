// CSV_ShowChart's own drawing, for when the external chart tool is not there: the CSV's series as
// columns (grouped per category; the 3D kinds with a shaded side) or as lines through the values
// (Spline_2D), on the chart's black background with a value grid, the categories below, a legend
// and the title.
#pragma once

#include <string>
#include <string_view>

#include "workloads/canvas.h"
#include "workloads/csv_chart_data.h"

namespace kestrune::workloads {

inline constexpr int kCsvChartWidth = 800;
inline constexpr int kCsvChartHeight = 400;

void DrawCsvChart(Canvas& canvas, const CsvChartData& data, CsvDrawType type, std::string_view title);

// Draws into a new kCsvChartWidth x kCsvChartHeight bitmap and saves it as the PNG file pngPath;
// false when it could not be made or saved.
bool SaveCsvChart(const CsvChartData& data, CsvDrawType type, std::string_view title,
                  const std::string& pngPath);

}  // namespace kestrune::workloads
