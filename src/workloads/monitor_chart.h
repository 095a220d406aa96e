// The picture MonitorData draws while it reads the drive's temperatures: the frame with its scales
// and legend, then one segment per item and reading. Not thread-safe: the command's thread draws.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "workloads/canvas.h"

namespace kestrune::workloads {

class MonitorChart {
 public:
  // A chart of the named items (at most kMaxMonitorItems) over limitSec seconds, its frame drawn.
  MonitorChart(const std::vector<std::string>& names, uint32_t limitSec);

  // Draws the segment from each item's previous reading to this one, taken second seconds into the
  // run; celsius holds one temperature per item, in the items' order.
  void Add(uint32_t second, const std::vector<int32_t>& celsius);

  // Saves the picture as the PNG file pngPath; false when there is no picture or it was not written.
  bool Save(const std::string& pngPath);

 private:
  void DrawFrame(const std::vector<std::string>& names);

  std::unique_ptr<Canvas> canvas_;
  uint32_t limitSec_;
  std::vector<std::optional<Point>> last_;
};

}  // namespace kestrune::workloads
