// The chart canvas on GDI+: a 32-bit ARGB bitmap, shapes without anti-aliasing, text in "Consolas"
// (another monospace family where Consolas is missing), PNG through the encoder whose MIME type is
// "image/png".
// GDI+ needs the COM stream declarations that WIN32_LEAN_AND_MEAN leaves out, before its own header.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <vector>

#include "platform/win32/wide.h"
#include "workloads/canvas.h"

namespace kestrune::workloads {
namespace {

namespace gp = Gdiplus;

// GDI+ started once for the process, on first use, and never shut down: charts may be drawn on any
// thread until the process ends.
bool GdiplusStarted() {
  static const bool started = [] {
    gp::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return gp::GdiplusStartup(&token, &input, nullptr) == gp::Ok;
  }();
  return started;
}

// The CLSID of the PNG encoder, looked up once among the installed image encoders.
std::optional<CLSID> PngEncoder() {
  static const std::optional<CLSID> clsid = []() -> std::optional<CLSID> {
    UINT count = 0, bytes = 0;
    if (gp::GetImageEncodersSize(&count, &bytes) != gp::Ok || bytes == 0) return std::nullopt;
    std::vector<uint8_t> buffer(bytes);
    auto* codecs = reinterpret_cast<gp::ImageCodecInfo*>(buffer.data());
    if (gp::GetImageEncoders(count, bytes, codecs) != gp::Ok) return std::nullopt;
    for (UINT i = 0; i < count; ++i)
      if (codecs[i].MimeType != nullptr && wcscmp(codecs[i].MimeType, L"image/png") == 0)
        return codecs[i].Clsid;
    return std::nullopt;
  }();
  return clsid;
}

// The monospace family of the charts: "Consolas", else the first other monospace family the system
// has (under Wine only the system's own fonts, such as "DejaVu Sans Mono", are there); nullptr when
// none is, and text is then left out.
const wchar_t* MonospaceFamily() {
  static const wchar_t* const name = []() -> const wchar_t* {
    for (const wchar_t* candidate : {L"Consolas", L"Lucida Console", L"Courier New", L"DejaVu Sans Mono"}) {
      gp::FontFamily family(candidate);
      if (family.IsAvailable()) return candidate;
    }
    return nullptr;
  }();
  return name;
}

gp::Color ToColor(Colour c) { return gp::Color(c.alpha, c.red(), c.green(), c.blue()); }

class GdiplusCanvas final : public Canvas {
 public:
  GdiplusCanvas(int width, int height)
      : bitmap_(width, height, PixelFormat32bppARGB), graphics_(&bitmap_), width_(width), height_(height) {
    graphics_.SetSmoothingMode(gp::SmoothingModeNone);
    graphics_.SetPixelOffsetMode(gp::PixelOffsetModeNone);
    graphics_.SetTextRenderingHint(gp::TextRenderingHintAntiAliasGridFit);
    graphics_.Clear(gp::Color(0, 0, 0, 0));
  }

  bool ok() const { return bitmap_.GetLastStatus() == gp::Ok && graphics_.GetLastStatus() == gp::Ok; }

  int width() const override { return width_; }
  int height() const override { return height_; }

  void Clear(Colour colour) override { graphics_.Clear(ToColor(colour)); }

  void Line(Point a, Point b, Colour colour, int lineWidth, Stroke stroke) override {
    gp::Pen pen(ToColor(colour), static_cast<gp::REAL>(std::max(lineWidth, 1)));
    if (stroke == Stroke::kDashed) {
      const gp::REAL dashes[] = {4.0f, 3.0f};
      pen.SetDashPattern(dashes, 2);
    }
    if (a == b) {
      FillRectangle({a.x, a.y, 1, 1}, colour);
      return;
    }
    graphics_.DrawLine(&pen, a.x, a.y, b.x, b.y);
    // GDI+ leaves a line's last pixel out; a solid line covers it as the contract says.
    if (stroke == Stroke::kSolid && lineWidth <= 1) FillRectangle({b.x, b.y, 1, 1}, colour);
  }

  void FillRectangle(Rect rect, Colour colour) override {
    if (rect.width <= 0 || rect.height <= 0) return;
    gp::SolidBrush brush(ToColor(colour));
    graphics_.FillRectangle(&brush, rect.x, rect.y, rect.width, rect.height);
  }

  void Text(Point anchor, std::string_view utf8, int pixelSize, Colour colour, Align align) override {
    const wchar_t* familyName = MonospaceFamily();
    if (utf8.empty() || familyName == nullptr) return;
    const std::wstring text = platform::Widen(utf8);
    gp::FontFamily family(familyName);
    gp::Font font(&family, static_cast<gp::REAL>(std::max(pixelSize, 1)), gp::FontStyleRegular,
                  gp::UnitPixel);
    gp::SolidBrush brush(ToColor(colour));
    gp::StringFormat format(gp::StringFormat::GenericTypographic());
    format.SetAlignment(align == Align::kRight ? gp::StringAlignmentFar : gp::StringAlignmentNear);
    const gp::PointF origin(static_cast<gp::REAL>(anchor.x), static_cast<gp::REAL>(anchor.y));
    graphics_.DrawString(text.c_str(), static_cast<INT>(text.size()), &font, origin, &format, &brush);
  }

  bool SavePng(const std::string& path) override {
    std::optional<CLSID> encoder = PngEncoder();
    if (!encoder) return false;
    graphics_.Flush(gp::FlushIntentionSync);
    return bitmap_.Save(platform::Widen(path).c_str(), &*encoder, nullptr) == gp::Ok;
  }

 private:
  gp::Bitmap bitmap_;
  gp::Graphics graphics_;
  int width_;
  int height_;
};

}  // namespace

std::unique_ptr<Canvas> CreateCanvas(int width, int height) {
  if (width < 1 || height < 1 || !GdiplusStarted()) return nullptr;
  auto canvas = std::make_unique<GdiplusCanvas>(width, height);
  if (!canvas->ok()) return nullptr;
  return canvas;
}

}  // namespace kestrune::workloads
