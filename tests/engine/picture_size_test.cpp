// Picture heights read from the headers of PNG, BMP, GIF and JPEG files.
#include "engine/picture_size.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrune::engine {
namespace {

std::string Le(uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
std::string Be(uint32_t v, int bytes) {
  std::string s;
  for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::optional<uint32_t> HeightOf(const std::string& bytes) {
  return PictureHeightOf({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

TEST(PictureSizeTest, HeightsFromHeaders) {
  const std::string png = "\x89PNG\r\n\x1a\n" + Be(13, 4) + "IHDR" + Be(640, 4) + Be(480, 4);
  const std::string bmp = "BM" + std::string(12, '\0') + Le(40, 4) + Le(320, 4) + Le(200, 4);
  const std::string bmpTopDown =
      "BM" + std::string(12, '\0') + Le(40, 4) + Le(320, 4) + Le(static_cast<uint32_t>(-200), 4);
  const std::string bmpOs2 = "BM" + std::string(12, '\0') + Le(12, 4) + Le(320, 2) + Le(90, 2) + Le(0, 2);
  const std::string gif = "GIF89a" + Le(100, 2) + Le(77, 2);
  // A JPEG with an application segment before its frame header.
  const std::string jpeg = std::string("\xFF\xD8", 2) + "\xFF\xE0" + Be(6, 2) + "JFIF" + "\xFF\xC0" +
                           Be(11, 2) + "\x08" + Be(333, 2) + Be(500, 2) + "\x03";
  const std::string jpegCut = std::string("\xFF\xD8", 2) + "\xFF\xE0" + Be(60, 2) + "JFIF";
  struct Case {
    const char* name;
    const std::string& bytes;
    std::optional<uint32_t> height;
  };
  const Case cases[] = {
      {"png", png, 480},
      {"bmp", bmp, 200},
      {"bmp stored top down", bmpTopDown, 200},
      {"os/2 bmp", bmpOs2, 90},
      {"gif", gif, 77},
      {"jpeg", jpeg, 333},
      {"jpeg cut short", jpegCut, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HeightOf(c.bytes), c.height);
  }
  EXPECT_EQ(HeightOf(png.substr(0, 20)), std::nullopt);
  EXPECT_EQ(HeightOf("plain text, not a picture"), std::nullopt);
  EXPECT_EQ(HeightOf(""), std::nullopt);
  EXPECT_EQ(PictureHeight("/no/such/picture.png"), std::nullopt);
}

}  // namespace
}  // namespace kestrune::engine
