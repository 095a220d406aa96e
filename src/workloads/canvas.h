// The drawing surface of the charts: a bitmap of fixed size that takes lines, rectangles and text in
// a monospace font, and is saved as a PNG file. One implementation is compiled per target: cairo on
// Linux (linux/cairo_canvas.cpp, font "DejaVu Sans Mono") and GDI+ on Windows
// (win32/gdiplus_canvas.cpp, font "Consolas"). Chart layout is portable code that only calls this
// interface, so the same picture comes out on both.
//
// Coordinates are whole pixels, x to the right and y down from the top-left pixel (0, 0); a pixel
// (x, y) is the unit square whose top-left corner is (x, y). Shapes are drawn without anti-aliasing,
// so that a line of width 1 covers exactly the pixels it passes; text is smoothed. Drawing outside
// the bitmap is clipped. Colours with an alpha below 255 are blended over what is there.
//
// Thread-safety: a Canvas is used by one thread at a time (a chart thread, or the thread that
// saves); different Canvas objects may be drawn on different threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestrune::workloads {

// A colour: a COLORREF value (0x00BBGGRR, as the output lines use) and an opacity.
struct Colour {
  uint32_t colorref = 0;
  uint8_t alpha = 255;

  constexpr uint8_t red() const { return static_cast<uint8_t>(colorref & 0xFF); }
  constexpr uint8_t green() const { return static_cast<uint8_t>((colorref >> 8) & 0xFF); }
  constexpr uint8_t blue() const { return static_cast<uint8_t>((colorref >> 16) & 0xFF); }
  constexpr bool operator==(const Colour&) const = default;
};

// The colour of an ARGB value 0xAARRGGBB (the form in which chart colours are given).
constexpr Colour FromArgb(uint32_t argb) {
  const uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  return Colour{(b << 16) | (g << 8) | r, static_cast<uint8_t>(argb >> 24)};
}

struct Point {
  int x = 0;
  int y = 0;
  constexpr bool operator==(const Point&) const = default;
};

// The pixels x .. x + width - 1 by y .. y + height - 1.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  constexpr bool operator==(const Rect&) const = default;
};

enum class Stroke { kSolid, kDashed };

// Where a text's anchor point lies: at its top-left or its top-right corner.
enum class Align { kLeft, kRight };

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual int width() const = 0;
  virtual int height() const = 0;

  // Sets every pixel to colour, alpha included (no blending).
  virtual void Clear(Colour colour) = 0;

  // A straight line from a to b, both end pixels included, lineWidth pixels wide (at least 1). A
  // dashed line has dashes and gaps of a few pixels each, starting with a dash at a.
  virtual void Line(Point a, Point b, Colour colour, int lineWidth = 1, Stroke stroke = Stroke::kSolid) = 0;

  // The one-pixel outline of rect: its first and last columns and rows.
  // Drawn as four one-pixel lines, so that it covers the same pixels on every canvas.
  void Rectangle(Rect rect, Colour colour, Stroke stroke = Stroke::kSolid) {
    if (rect.width <= 0 || rect.height <= 0) return;
    const int right = rect.x + rect.width - 1, bottom = rect.y + rect.height - 1;
    Line({rect.x, rect.y}, {right, rect.y}, colour, 1, stroke);
    Line({rect.x, bottom}, {right, bottom}, colour, 1, stroke);
    if (rect.height > 2) {
      Line({rect.x, rect.y + 1}, {rect.x, bottom - 1}, colour, 1, stroke);
      Line({right, rect.y + 1}, {right, bottom - 1}, colour, 1, stroke);
    }
  }

  // Every pixel of rect.
  virtual void FillRectangle(Rect rect, Colour colour) = 0;

  // One line of UTF-8 text in the monospace font, pixelSize pixels high (the font's em size). The
  // anchor is the top of the text's line box and its left end (Align::kLeft) or right end
  // (Align::kRight).
  virtual void Text(Point anchor, std::string_view utf8, int pixelSize, Colour colour,
                    Align align = Align::kLeft) = 0;

  // Writes the bitmap as a PNG file at path (replacing it), 32-bit with alpha. False when the file
  // could not be written.
  virtual bool SavePng(const std::string& path) = 0;
};

// A width x height bitmap (both at least 1), every pixel transparent black. nullptr when the
// drawing library could not make it (out of memory, GDI+ unavailable).
std::unique_ptr<Canvas> CreateCanvas(int width, int height);

}  // namespace kestrune::workloads
