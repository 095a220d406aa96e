#include "workloads/csv_cells.h"

#include <algorithm>

namespace kestrune::workloads {

std::vector<CsvRow> ReadCsvCells(std::string_view text) {
  std::vector<CsvRow> rows;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    line = line.substr(0, kCsvLineChars);
    CsvRow row;
    for (;;) {
      const size_t comma = line.find(',');
      row.emplace_back(line.substr(0, std::min(comma, kCsvCellChars)));
      if (comma == std::string_view::npos || row.size() == kCsvColumns) break;
      line.remove_prefix(comma + 1);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace kestrune::workloads
