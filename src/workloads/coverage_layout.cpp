#include "workloads/coverage_layout.h"

#include <algorithm>

namespace kestrune::workloads {
namespace {

using u128 = unsigned __int128;

// (plotWidth x part + whole - 1) / whole.
uint64_t ScaleUp(uint64_t part, uint64_t whole, uint64_t plotWidth) {
  if (whole == 0) return 0;
  return static_cast<uint64_t>((static_cast<u128>(plotWidth) * part + whole - 1) / whole);
}

}  // namespace

uint64_t CoverageColumn(uint64_t offset, uint64_t start, uint64_t rangeBytes, uint64_t plotWidth) {
  return ScaleUp(offset > start ? offset - start : 0, rangeBytes, plotWidth);
}

uint64_t CoverageLength(uint64_t bytes, uint64_t rangeBytes, uint64_t plotWidth) {
  return std::max<uint64_t>(ScaleUp(bytes, rangeBytes, plotWidth), 1);
}

std::vector<Rect> CoverageBars(uint64_t column, uint64_t length) {
  std::vector<Rect> bars;
  const uint64_t end = std::min(column + length, kCoveragePlotWidth);
  while (column < end) {
    const uint64_t row = column / kCoverageRowWidth;
    const uint64_t inRow = column % kCoverageRowWidth;
    const uint64_t piece = std::min<uint64_t>(end - column, kCoverageRowWidth - inRow);
    bars.push_back(Rect{kCoverageLeft + static_cast<int>(inRow),
                        static_cast<int>(row) * kCoverageRowHeight + 1, static_cast<int>(piece),
                        kCoverageRowHeight - 1});
    column += piece;
  }
  return bars;
}

std::vector<int> CoverageSeparators() {
  std::vector<int> ys;
  for (int row = 1; row < kCoverageRows; ++row) ys.push_back(row * kCoverageRowHeight);
  return ys;
}

}  // namespace kestrune::workloads
