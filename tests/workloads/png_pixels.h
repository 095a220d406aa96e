// Reads a PNG file back for the chart tests, through cairo's PNG reader: its size and its pixels as
// 0xAARRGGBB values.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::workloads::testing {

struct PngPixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;  // row by row

  uint32_t At(int x, int y) const { return argb.at(static_cast<size_t>(y) * width + x); }
  // The pixel without its alpha, as 0xRRGGBB.
  uint32_t Rgb(int x, int y) const { return At(x, y) & 0xFFFFFF; }
};

inline std::optional<PngPixels> ReadPng(const std::string& path) {
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return std::nullopt;
  }
  PngPixels png;
  png.width = cairo_image_surface_get_width(surface);
  png.height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  for (int y = 0; y < png.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    png.argb.insert(png.argb.end(), row, row + png.width);
  }
  cairo_surface_destroy(surface);
  return png;
}

}  // namespace kestrune::workloads::testing
