#include "sim/lab_firmware_image.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/crc.h"

namespace kestrune::sim {
namespace {

constexpr size_t kRevisionAt = 8;
constexpr size_t kRevisionBytes = 8;
constexpr size_t kCrcAt = 16;
constexpr size_t kHeaderBytes = 20;

uint32_t ImageCrc(std::span<const uint8_t> image) {
  std::vector<uint8_t> copy(image.begin(), image.end());
  std::fill_n(copy.begin() + kCrcAt, 4, 0);
  return base::Crc32(copy);
}

}  // namespace

std::optional<std::string> LabImageRevision(std::span<const uint8_t> image) {
  if (image.size() < kHeaderBytes || image.size() % kLabImageUnit != 0) return std::nullopt;
  if (!std::equal(kLabImageMagic.begin(), kLabImageMagic.end(), image.begin())) return std::nullopt;
  std::string revision(image.begin() + kRevisionAt, image.begin() + kRevisionAt + kRevisionBytes);
  if (!std::all_of(revision.begin(), revision.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }))
    return std::nullopt;
  if (ImageCrc(image) != base::GetLe32(image.data() + kCrcAt)) return std::nullopt;
  return revision;
}

std::vector<uint8_t> MakeLabImage(std::string_view revision, size_t bytes, uint8_t fill) {
  const size_t size = std::max(kLabImageUnit, (bytes + kLabImageUnit - 1) / kLabImageUnit * kLabImageUnit);
  std::vector<uint8_t> image(size, fill);
  std::copy(kLabImageMagic.begin(), kLabImageMagic.end(), image.begin());
  std::string text(revision.substr(0, kRevisionBytes));
  text.resize(kRevisionBytes, ' ');
  std::copy(text.begin(), text.end(), image.begin() + kRevisionAt);
  base::PutLe32(image.data() + kCrcAt, ImageCrc(image));
  return image;
}

}  // namespace kestrune::sim
