// GDI+ needs the COM stream declarations that WIN32_LEAN_AND_MEAN leaves out, before its own header.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

#include "app/win32/output_list.h"

#include <algorithm>

#include "platform/win32/wide.h"

namespace kestrune::app::win32 {
namespace {

using platform::Widen;

constexpr int kTextLeft = 90;           // text and pictures start here
constexpr int kDataFileRowHeight = 120; // a data file's hex rows
constexpr COLORREF kSelectedBack = RGB(0x1E, 0x1E, 0x1E);
constexpr COLORREF kImageMissing = RGB(0xFF, 0x00, 0x00);
constexpr const wchar_t* kMore = L"    >> more...";

// A row's height by the line's kind: text by its font size, pictures and kind-3 text by their
// stored size, data files fixed.
int RowHeight(const engine::OutputLine& line) {
  switch (line.kind) {
    case engine::kPicture:
    case engine::kTextNotInHtml:
      return std::clamp(line.fontSize, 1, 255);
    case engine::kDataFile:
      return kDataFileRowHeight;
    default:
      return std::clamp(line.fontSize * 3 / 2 + 1, 1, 255);
  }
}

}  // namespace

OutputList::~OutputList() {
  for (auto& [size, font] : fonts_) DeleteObject(font);
}

void OutputList::Apply(const MirrorUpdate& update) {
  if (update.empty() || !list_) return;
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  if (update.reset) {
    SendMessageW(list_, LB_RESETCONTENT, 0, 0);
    lines_.clear();
  }
  for (const auto& [index, line] : update.rewritten) {
    if (index >= lines_.size()) continue;
    lines_[index] = line;
    SendMessageW(list_, LB_DELETESTRING, index, 0);
    SendMessageW(list_, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(Widen(line.text).c_str()));
  }
  for (const engine::OutputLine& line : update.added) {
    lines_.push_back(line);  // first: WM_MEASUREITEM asks for it while the string is added
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(line.text).c_str()));
  }
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void OutputList::Measure(MEASUREITEMSTRUCT& item) const {
  const engine::OutputLine* line = Line(item.itemID);
  item.itemHeight = line ? static_cast<UINT>(RowHeight(*line)) : 16;
}

HFONT OutputList::FontOf(int32_t size) {
  size = std::clamp(size, 6, 72);
  auto found = fonts_.find(size);
  if (found != fonts_.end()) return found->second;
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(size, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, FIXED_PITCH | FF_MODERN, L"Consolas");
  fonts_[size] = font;
  return font;
}

void OutputList::PaintText(HDC dc, const RECT& rect, const std::wstring& text, int32_t size, COLORREF colour, int x) {
  HGDIOBJ old = SelectObject(dc, FontOf(size));
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  RECT r = rect;
  r.left = x;
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_NOPREFIX | DT_SINGLELINE);
  SelectObject(dc, old);
}

void OutputList::Draw(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1)) return;
  const engine::OutputLine* line = Line(item.itemID);
  if (!line) return;
  HDC dc = item.hDC;
  const RECT& rect = item.rcItem;
  HBRUSH back = CreateSolidBrush((item.itemState & ODS_SELECTED) ? kSelectedBack : RGB(0, 0, 0));
  FillRect(dc, &rect, back);
  DeleteObject(back);
  const int left = rect.left + kTextLeft;
  const std::wstring more = line->attachedPath.empty() ? L"" : kMore;

  if (line->kind == engine::kPicture) {
    Gdiplus::Bitmap picture(Widen(line->text).c_str());
    if (picture.GetLastStatus() != Gdiplus::Ok || picture.GetHeight() == 0) {
      PaintText(dc, rect, L"Image Not Found", 10, kImageMissing, left);
      return;
    }
    const int height = rect.bottom - rect.top;
    const int width = static_cast<int>(static_cast<int64_t>(picture.GetWidth()) * height / picture.GetHeight());
    Gdiplus::Graphics graphics(dc);
    graphics.DrawImage(&picture, left, static_cast<int>(rect.top), width, height);
    if (!more.empty()) PaintText(dc, rect, more, 10, RGB(0xFF, 0xFF, 0xFF), left + width);
    return;
  }
  if (line->kind == engine::kDataFile) {
    const int rowHeight = RowHeight(engine::OutputLine{});  // a size-10 text row
    RECT row = rect;
    for (const std::string& text : engine::DataFileDump(line->text)) {
      PaintText(dc, row, Widen(text), 10, line->colour, left);
      row.top += rowHeight;
      if (row.top >= rect.bottom) break;
    }
    return;
  }
  PaintText(dc, rect, Widen(line->text) + more, line->fontSize, line->colour, left);
}

}  // namespace kestrune::app::win32
