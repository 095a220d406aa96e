// A CSV file shown as a text table: per row the first cell left-aligned to the widest first cell
// and " :", then every other cell right-aligned to the widest of all other cells and " |".
#pragma once

#include <string>
#include <vector>

#include "workloads/csv_cells.h"

namespace kestrune::workloads {

// One text line per row, in order.
std::vector<std::string> CsvTableLines(const std::vector<CsvRow>& rows);

}  // namespace kestrune::workloads
