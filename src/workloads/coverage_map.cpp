#include "workloads/coverage_map.h"

#include <algorithm>

namespace kestrune::workloads {
namespace {

constexpr Colour kBackground = FromArgb(0xFF000000);

}  // namespace

CoverageMap::CoverageMap(uint64_t startOffset, uint64_t rangeBytes, Colour colour, uint64_t plotWidth,
                         std::function<void()> repaint)
    : canvas_(CreateCanvas(kCoverageWidth, kCoverageHeight)),
      start_(startOffset),
      range_(rangeBytes),
      colour_(colour),
      plotWidth_(std::clamp<uint64_t>(plotWidth, 1, kCoveragePlotWidth)),
      repaint_(std::move(repaint)) {
  batch_.reserve(kBatch);
}

void CoverageMap::Start() {
  std::lock_guard<std::mutex> guard(lock_);
  batch_.clear();
  if (!canvas_) return;
  canvas_->Clear(kBackground);
  const int right = kCoverageLeft + kCoverageRowWidth - 1;
  for (int y : CoverageSeparators())
    canvas_->Line({kCoverageLeft, y}, {right, y}, coverage::kFrame, 1, Stroke::kDashed);
  canvas_->Line({kCoverageLeft - 1, 0}, {kCoverageLeft - 1, kCoverageHeight - 1}, coverage::kFrame);
  canvas_->Line({right + 1, 0}, {right + 1, kCoverageHeight - 1}, coverage::kFrame);
}

void CoverageMap::Add(uint64_t offset, uint64_t bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  batch_.push_back({offset, bytes});
  if (batch_.size() >= kBatch) DrawBatch();
}

void CoverageMap::Finish() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!batch_.empty()) DrawBatch();
}

bool CoverageMap::Save(const std::string& pngPath) {
  std::lock_guard<std::mutex> guard(lock_);
  return canvas_ && canvas_->SavePng(pngPath);
}

void CoverageMap::DrawBatch() {
  if (canvas_) {
    for (const CoverageTouch& t : batch_) {
      const uint64_t column = CoverageColumn(t.offset, start_, range_, plotWidth_);
      for (const Rect& bar : CoverageBars(column, CoverageLength(t.bytes, range_, plotWidth_)))
        canvas_->FillRectangle(bar, colour_);
    }
  }
  batch_.clear();
  if (repaint_) repaint_();
}

bool SaveCoverageMap(const CoverageRecord& record, const std::string& pngPath) {
  CoverageMap map(record.startOffset, record.rangeBytes, record.colour, record.plotWidth);
  if (!map.ok()) return false;
  map.Start();
  for (const CoverageTouch& t : record.touches) map.Add(t.offset, t.bytes);
  map.Finish();
  return map.Save(pngPath);
}

}  // namespace kestrune::workloads
