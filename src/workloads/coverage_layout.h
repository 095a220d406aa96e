// Where the coverage map puts a touched byte range: the map is four rows of 930 pixels, 129 pixels
// high, starting 40 pixels from the left; the range being tested is spread over the plot width (by
// default all four rows, one after the other), and a bar that runs past a row's right edge goes on
// at the start of the next row. Pure functions, tested without drawing.
#pragma once

#include <cstdint>
#include <vector>

#include "workloads/canvas.h"

namespace kestrune::workloads {

inline constexpr int kCoverageLeft = 40;
inline constexpr int kCoverageRowWidth = 930;
inline constexpr int kCoverageRowHeight = 129;
inline constexpr int kCoverageRows = 4;
inline constexpr int kCoverageWidth = kCoverageLeft + kCoverageRowWidth + 10;
inline constexpr int kCoverageHeight = kCoverageRows * kCoverageRowHeight;
// The plot width that fills every row.
inline constexpr uint64_t kCoveragePlotWidth = uint64_t{kCoverageRowWidth} * kCoverageRows;

// The pixel column of offset within the range of rangeBytes from start, on a plot plotWidth pixels
// wide: (plotWidth x (offset - start) + rangeBytes - 1) / rangeBytes, in 128-bit arithmetic. An
// offset before start gives 0; a range of 0 gives 0.
uint64_t CoverageColumn(uint64_t offset, uint64_t start, uint64_t rangeBytes, uint64_t plotWidth);

// The bar length in pixels of a request of bytes, computed the same way; at least 1.
uint64_t CoverageLength(uint64_t bytes, uint64_t rangeBytes, uint64_t plotWidth);

// The rectangles of a bar of length pixels that starts at column: one per row it touches, each
// inside its row (leaving the row's first pixel line, where the separator lies, untouched).
// Columns past the last row are dropped.
std::vector<Rect> CoverageBars(uint64_t column, uint64_t length);

// The y of the dashed grey separators between the rows: 129, 258 and 387.
std::vector<int> CoverageSeparators();

}  // namespace kestrune::workloads
