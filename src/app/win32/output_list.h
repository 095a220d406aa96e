// The main dialog's output list: an owner-drawn list box whose items carry their text, fed from the
// view's store through an OutputMirror, and drawn line by line (text in the line's colour and size,
// pictures scaled to the row, data files as a short hex dump) on black.
#pragma once

#include <windows.h>

#include <map>
#include <vector>

#include "app/output_mirror.h"
#include "engine/output.h"

namespace kestrune::app::win32 {

class OutputList {
 public:
  void Attach(HWND list) { list_ = list; }
  ~OutputList();

  // Brings the list box to the update (window thread).
  void Apply(const MirrorUpdate& update);

  // The list box's WM_MEASUREITEM and WM_DRAWITEM.
  void Measure(MEASUREITEMSTRUCT& item) const;
  void Draw(const DRAWITEMSTRUCT& item);

  // The line at index, or null.
  const engine::OutputLine* Line(size_t index) const { return index < lines_.size() ? &lines_[index] : nullptr; }
  size_t size() const { return lines_.size(); }

 private:
  HFONT FontOf(int32_t size);
  void PaintText(HDC dc, const RECT& rect, const std::wstring& text, int32_t size, COLORREF colour, int x);

  HWND list_ = nullptr;
  std::vector<engine::OutputLine> lines_;  // parallel to the list box's items
  std::map<int32_t, HFONT> fonts_;
};

}  // namespace kestrune::app::win32
