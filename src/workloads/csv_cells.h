// The cells of a CSV file as the CSV views read it: lines cut at LF (a CR before it dropped), each
// line at most 512 characters, at most 50 cells a line split at every ",", each cell at most 63
// characters. Empty lines are skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrune::workloads {

inline constexpr size_t kCsvLineChars = 512;
inline constexpr size_t kCsvColumns = 50;
inline constexpr size_t kCsvCellChars = 63;

using CsvRow = std::vector<std::string>;

std::vector<CsvRow> ReadCsvCells(std::string_view text);

}  // namespace kestrune::workloads
