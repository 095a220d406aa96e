#include "devcmd/firmware_image.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/crc.h"
#include "base/text.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;

constexpr char kConf[] = "CONF";
constexpr char kContainer[] = "CMFG";
// The header bytes in front of a trailing block, filled from these bytes of the block.
constexpr size_t kHeaderBytes = 16;
constexpr size_t kBlockModeByte = 2053;
constexpr size_t kBlockFlagsByte = 2100;
constexpr uint8_t kHeaderMark = 0x88;

bool StartsWith(std::span<const uint8_t> bytes, size_t at, const char (&tag)[5]) {
  return at + 4 <= bytes.size() && std::equal(tag, tag + 4, bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

bool Contains(std::string_view text, std::string_view word) {
  return base::ToLowerAscii(text).find(word) != std::string::npos;
}

// The container's CONF section: the first listed section that lies inside the image and starts with
// "CONF". Indices past the image are skipped, never read.
bool FindContainerBlock(FirmwareImage& image) {
  const std::span<const uint8_t> bytes = image.bytes;
  for (size_t i = 0; i < kContainerSections; ++i) {
    const uint32_t index = base::GetLe32(bytes.data() + kContainerListOffset + 4 * i);
    const uint64_t at = uint64_t{index} * kConfigBlockBytes;
    if (index == 0 || at + kConfigBlockBytes > bytes.size()) continue;
    if (!StartsWith(bytes, static_cast<size_t>(at), kConf)) continue;
    image.configOffset = static_cast<size_t>(at);
    image.configListPosition = i;
    return i != 0;  // a CONF section listed first is not a usable container
  }
  return false;
}

}  // namespace

std::string_view PlacementName(ConfigPlacement p) {
  switch (p) {
    case ConfigPlacement::kContainer:
      return "container";
    case ConfigPlacement::kTrailing:
      return "trailing";
    case ConfigPlacement::kAppended:
      return "appended";
    default:
      return "none";
  }
}

std::string_view ChecksumName(ChecksumKind k) {
  switch (k) {
    case ChecksumKind::kCrc32c:
      return "CRC-32C";
    case ChecksumKind::kCrc32:
      return "CRC-32";
    case ChecksumKind::kUnknown:
      return "unknown";
    default:
      return "none";
  }
}

std::span<uint8_t> FirmwareImage::ConfigBlock() {
  if (placement == ConfigPlacement::kNone) return {};
  return std::span<uint8_t>(bytes).subspan(configOffset, kConfigBlockBytes);
}

ImageCheck CheckFirmwareImage(std::vector<uint8_t> file, std::string_view fileName, const ImageRules& rules) {
  ImageCheck c;
  if (file.empty()) {
    c.code = code::kFileSizeFailed;
    c.detail = "Get File Size Error";
    return c;
  }
  if (file.size() > kMaxFirmwareImageBytes) {
    c.code = code::kBadParameter;
    c.detail = "FW image too large";
    return c;
  }
  if (file.size() % rules.alignment != 0) {
    c.code = code::kUpdateFwFailed;
    c.detail = base::Format("FW size not align %zu", rules.alignment);
    return c;
  }
  FirmwareImage& image = c.image;
  image.fileBytes = file.size();
  image.bytes = std::move(file);
  if (rules.makerRules && image.bytes.size() >= kConfigBlockBytes) {
    if (StartsWith(image.bytes, 0, kContainer)) {
      if (!FindContainerBlock(image)) {
        c.code = code::kError;
        c.detail = "No Found CONF block";
        return c;
      }
      image.placement = ConfigPlacement::kContainer;
    } else if (StartsWith(image.bytes, image.bytes.size() - kConfigBlockBytes, kConf)) {
      image.placement = ConfigPlacement::kTrailing;
      image.configOffset = image.bytes.size() - kConfigBlockBytes;
    } else if (Contains(fileName, "prog") && !Contains(fileName, "rdt")) {
      image.placement = ConfigPlacement::kAppended;
      image.configOffset = image.bytes.size();
      image.bytes.resize(image.bytes.size() + kConfigBlockBytes, 0);
      std::copy_n(kConf, 4, image.bytes.begin() + static_cast<std::ptrdiff_t>(image.configOffset));
    }
  }
  image.checksum = DetectChecksum(image.bytes);
  return c;
}

uint32_t BlockCrc(std::span<const uint8_t> block, ChecksumKind kind) {
  return kind == ChecksumKind::kCrc32c ? base::Crc32c(block) : base::Crc32(block);
}

ChecksumKind DetectChecksum(std::span<const uint8_t> image) {
  if (image.size() < kConfigBlockBytes) return ChecksumKind::kUnknown;
  const size_t last = image.size() - kConfigBlockBytes;
  const uint32_t stored = base::GetLe32(image.data() + last + kChecksumOffset);
  const std::span<const uint8_t> body = image.first(last);
  if (base::Crc32c(body) == stored) return ChecksumKind::kCrc32c;
  if (base::Crc32(body) == stored) return ChecksumKind::kCrc32;
  return stored == 0 ? ChecksumKind::kNone : ChecksumKind::kUnknown;
}

void WriteChecksum(std::span<uint8_t> image, ChecksumKind kind) {
  if (image.size() < kConfigBlockBytes) return;
  if (kind != ChecksumKind::kCrc32c && kind != ChecksumKind::kCrc32) return;
  const size_t last = image.size() - kConfigBlockBytes;
  base::PutLe32(image.data() + last + kChecksumOffset, BlockCrc(image.first(last), kind));
}

void RefreshAfterEdit(FirmwareImage& image) {
  if (image.placement == ConfigPlacement::kContainer) return WriteChecksum(image.bytes, image.checksum);
  if (image.placement == ConfigPlacement::kNone || image.configOffset < kHeaderBytes) return;
  uint8_t* header = image.bytes.data() + image.configOffset - kHeaderBytes;
  if (std::any_of(header, header + kHeaderBytes, [](uint8_t b) { return b != 0; })) return;
  const uint8_t* block = image.bytes.data() + image.configOffset;
  const uint8_t mode = block[kBlockModeByte];
  header[0] = kHeaderMark;
  header[1] = mode != 0 ? 1 : 0;
  header[2] = mode != 0 ? static_cast<uint8_t>(mode - 2) : 0;
  base::PutLe64(header + 3, 1);
  header[15] = block[kBlockFlagsByte];
}

}  // namespace kestrune::devcmd
