// The coverage map: which parts of a tested range a job has touched. Each touched request is a bar
// of a low-alpha colour, so that areas touched again and again stand out brighter; positions are
// drawn in batches of ten. Used live by the compare, map, search and JEDEC jobs (Start, Add, Finish,
// Save), or in one call from a finished record (SaveCoverageMap).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "workloads/canvas.h"
#include "workloads/coverage_layout.h"

namespace kestrune::workloads {

// Bar colours by test.
namespace coverage {
inline constexpr Colour kRandomVerify = FromArgb(0x323C6480);
inline constexpr Colour kSequentialVerify = FromArgb(0x643C6480);
// FindLBA_ByPattern, Compare_RandSizeOverlap's main phase, the JEDEC enterprise workload.
inline constexpr Colour kPatternSearch = FromArgb(0x32328050);
inline constexpr Colour kOverlapPreparation = FromArgb(0xFF323232);
inline constexpr Colour kMapWrite = FromArgb(0x32803C3C);
inline constexpr Colour kMapCompare = FromArgb(0x323C6480);
inline constexpr Colour kFrame = FromArgb(0xFF808080);
}  // namespace coverage

// A touched request: its byte offset on the disk and its size in bytes.
struct CoverageTouch {
  uint64_t offset = 0;
  uint64_t bytes = 0;
};

// Everything a coverage map is drawn from.
struct CoverageRecord {
  uint64_t startOffset = 0;  // the range's first byte
  uint64_t rangeBytes = 0;   // the range's length
  Colour colour = coverage::kRandomVerify;
  uint64_t plotWidth = kCoveragePlotWidth;  // pixels the range is spread over (at most kCoveragePlotWidth)
  std::vector<CoverageTouch> touches;       // in the order they happened
};

// A live coverage map. Thread-safe: the workers of a job may add positions at once; each call takes
// the map's lock.
class CoverageMap {
 public:
  static constexpr size_t kBatch = 10;

  // repaint, when given, is called (under the map's lock) after each batch is drawn, so that the
  // window that shows the map paints it again.
  CoverageMap(uint64_t startOffset, uint64_t rangeBytes, Colour colour,
              uint64_t plotWidth = kCoveragePlotWidth, std::function<void()> repaint = {});

  // False when no bitmap could be made; the map then draws nothing (drawing failures do not stop a
  // test).
  bool ok() const { return canvas_ != nullptr; }

  // Clears the picture and draws the frame; forgets positions not yet drawn.
  void Start();
  // Adds one touched request; every tenth one draws the batch.
  void Add(uint64_t offset, uint64_t bytes);
  // Draws the positions left in the batch.
  void Finish();
  // Saves the picture as the PNG file pngPath (after Finish). False when it could not be written.
  bool Save(const std::string& pngPath);

 private:
  void DrawBatch();  // with lock_ held

  std::mutex lock_;
  std::unique_ptr<Canvas> canvas_;
  uint64_t start_;
  uint64_t range_;
  Colour colour_;
  uint64_t plotWidth_;
  std::function<void()> repaint_;
  std::vector<CoverageTouch> batch_;
};

// Draws record's map and saves it as the PNG file pngPath; false when it could not be made or saved.
bool SaveCoverageMap(const CoverageRecord& record, const std::string& pngPath);

}  // namespace kestrune::workloads
