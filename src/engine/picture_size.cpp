#include "engine/picture_size.h"

#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/files.h"

namespace kestrune::engine {
namespace {

// A JPEG keeps its size in the first start-of-frame segment, which may come after large metadata
// segments (thumbnails); this much of a file is read to find it.
constexpr size_t kHeaderBytes = 1 << 20;

uint32_t Be16(std::span<const uint8_t> b, size_t at) { return (uint32_t{b[at]} << 8) | b[at + 1]; }
uint32_t Le16(std::span<const uint8_t> b, size_t at) { return b[at] | (uint32_t{b[at + 1]} << 8); }
uint32_t Be32(std::span<const uint8_t> b, size_t at) { return (Be16(b, at) << 16) | Be16(b, at + 2); }
uint32_t Le32(std::span<const uint8_t> b, size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }

std::optional<uint32_t> JpegHeight(std::span<const uint8_t> b) {
  size_t at = 2;
  while (at + 4 <= b.size()) {
    if (b[at] != 0xFF) return std::nullopt;
    uint8_t marker = b[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      at += 2;
      continue;
    }
    uint32_t length = Be16(b, at + 2);
    if (length < 2) return std::nullopt;
    // Start of frame: every 0xCn except DHT (C4), JPG (C8) and DAC (CC).
    bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 7 > b.size()) return std::nullopt;
      return Be16(b, at + 5);
    }
    at += 2 + length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint32_t> PictureHeightOf(std::span<const uint8_t> b) {
  static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() >= 24 && std::equal(std::begin(kPng), std::end(kPng), b.begin())) return Be32(b, 20);
  if (b.size() >= 18 && b[0] == 'B' && b[1] == 'M') {
    uint32_t headerSize = Le32(b, 14);
    if (headerSize == 12) {  // the old OS/2 header: 16-bit sizes
      if (b.size() < 22) return std::nullopt;
      return Le16(b, 20);
    }
    if (b.size() < 26) return std::nullopt;
    // A negative height marks a picture stored top row first.
    return static_cast<uint32_t>(std::abs(static_cast<int64_t>(static_cast<int32_t>(Le32(b, 22)))));
  }
  if (b.size() >= 10 && b[0] == 'G' && b[1] == 'I' && b[2] == 'F') return Le16(b, 8);
  if (b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8) return JpegHeight(b);
  return std::nullopt;
}

std::optional<uint32_t> PictureHeight(const std::string& path) {
  std::ifstream in(platform::FsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes(kHeaderBytes);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return PictureHeightOf(bytes);
}

}  // namespace kestrune::engine
