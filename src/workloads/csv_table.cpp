#include "workloads/csv_table.h"

#include <algorithm>

namespace kestrune::workloads {

std::vector<std::string> CsvTableLines(const std::vector<CsvRow>& rows) {
  size_t firstWidth = 0, otherWidth = 0;
  for (const CsvRow& row : rows) {
    firstWidth = std::max(firstWidth, row.front().size());
    for (size_t i = 1; i < row.size(); ++i) otherWidth = std::max(otherWidth, row[i].size());
  }
  std::vector<std::string> lines;
  for (const CsvRow& row : rows) {
    std::string line = row.front();
    line.append(firstWidth - row.front().size(), ' ').append(" :");
    for (size_t i = 1; i < row.size(); ++i)
      line.append(otherWidth - row[i].size(), ' ').append(row[i]).append(" |");
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace kestrune::workloads
