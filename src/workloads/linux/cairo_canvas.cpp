// The chart canvas on cairo: an ARGB32 image surface, shapes without anti-aliasing, text in
// "DejaVu Sans Mono" (the monospace font Debian carries in fonts-dejavu-core), PNG by cairo's writer.
#include <cairo.h>

#include <algorithm>
#include <string>

#include "workloads/canvas.h"

// Fontconfig, which cairo asks for the font, keeps its configuration and font patterns in caches
// that live until the process ends and are never freed; under AddressSanitizer they would be
// reported as leaks at exit. This tells the leak checker they are not ours.
#if defined(__SANITIZE_ADDRESS__)
#define KESTRUNE_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRUNE_LEAK_CHECKER 1
#endif
#endif
#ifdef KESTRUNE_LEAK_CHECKER
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace kestrune::workloads {
namespace {

constexpr const char* kFontFamily = "DejaVu Sans Mono";
constexpr double kDash[] = {4.0, 3.0};

class CairoCanvas final : public Canvas {
 public:
  CairoCanvas(cairo_surface_t* surface, int width, int height)
      : surface_(surface), cr_(cairo_create(surface)), width_(width), height_(height) {
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
    cairo_select_font_face(cr_, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);
  }
  ~CairoCanvas() override {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;

  bool ok() const { return cairo_status(cr_) == CAIRO_STATUS_SUCCESS; }

  int width() const override { return width_; }
  int height() const override { return height_; }

  void Clear(Colour colour) override {
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    SetColour(colour);
    cairo_paint(cr_);
    cairo_restore(cr_);
  }

  void Line(Point a, Point b, Colour colour, int lineWidth, Stroke stroke) override {
    cairo_save(cr_);
    SetColour(colour);
    cairo_set_line_width(cr_, std::max(lineWidth, 1));
    if (stroke == Stroke::kDashed) {
      cairo_set_dash(cr_, kDash, 2, 0);
      cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    } else {
      // Square caps reach half a pixel past each end point, so both end pixels are covered.
      cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE);
    }
    cairo_move_to(cr_, a.x + 0.5, a.y + 0.5);
    cairo_line_to(cr_, b.x + 0.5, b.y + 0.5);
    cairo_stroke(cr_);
    cairo_restore(cr_);
  }

  void FillRectangle(Rect rect, Colour colour) override {
    if (rect.width <= 0 || rect.height <= 0) return;
    cairo_save(cr_);
    SetColour(colour);
    cairo_rectangle(cr_, rect.x, rect.y, rect.width, rect.height);
    cairo_fill(cr_);
    cairo_restore(cr_);
  }

  void Text(Point anchor, std::string_view utf8, int pixelSize, Colour colour, Align align) override {
    if (utf8.empty()) return;
    const std::string text(utf8);
    cairo_save(cr_);
    SetColour(colour);
    cairo_set_font_size(cr_, std::max(pixelSize, 1));
    cairo_font_extents_t font;
    cairo_font_extents(cr_, &font);
    double x = anchor.x;
    if (align == Align::kRight) {
      cairo_text_extents_t extents;
      cairo_text_extents(cr_, text.c_str(), &extents);
      x -= extents.x_advance;
    }
    cairo_move_to(cr_, x, anchor.y + font.ascent);
    cairo_show_text(cr_, text.c_str());
    cairo_restore(cr_);
  }

  bool SavePng(const std::string& path) override {
    cairo_surface_flush(surface_);
    return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
  }

 private:
  void SetColour(Colour c) {
    cairo_set_source_rgba(cr_, c.red() / 255.0, c.green() / 255.0, c.blue() / 255.0, c.alpha / 255.0);
  }

  cairo_surface_t* surface_;
  cairo_t* cr_;
  int width_;
  int height_;
};

}  // namespace

std::unique_ptr<Canvas> CreateCanvas(int width, int height) {
  if (width < 1 || height < 1) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  auto canvas = std::make_unique<CairoCanvas>(surface, width, height);
  if (!canvas->ok()) return nullptr;
  return canvas;
}

}  // namespace kestrune::workloads
