// A firmware image as it is checked before anything is sent: its length rules, where its
// configuration block stands (container, trailing or appended), which checksum it carries, and the
// rewriting of that checksum or of the small header in front of the block after an edit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::devcmd {

inline constexpr size_t kFirmwarePieceBytes = 4096;
inline constexpr size_t kConfigBlockBytes = 4096;
inline constexpr size_t kMaxFirmwareImageBytes = size_t{64} << 20;
// The container's section list: up to 32 dwords from byte 16, each an index in 4096-byte units.
inline constexpr size_t kContainerListOffset = 16;
inline constexpr size_t kContainerSections = 32;
// The checksum dword in the image's last 4096-byte block.
inline constexpr size_t kChecksumOffset = 12;

enum class ConfigPlacement : uint8_t { kNone, kContainer, kTrailing, kAppended };
enum class ChecksumKind : uint8_t { kNone, kCrc32c, kCrc32, kUnknown };

std::string_view PlacementName(ConfigPlacement p);  // "none", "container", "trailing", "appended"
std::string_view ChecksumName(ChecksumKind k);      // "none", "CRC-32C", "CRC-32", "unknown"

struct FirmwareImage {
  std::vector<uint8_t> bytes;  // what is sent: the file, plus 4096 bytes with an appended block
  size_t fileBytes = 0;
  ConfigPlacement placement = ConfigPlacement::kNone;
  size_t configOffset = 0;  // the block's byte offset (placement kNone: 0)
  size_t configListPosition = 0;  // container: the list entry that named the block
  ChecksumKind checksum = ChecksumKind::kNone;

  std::span<uint8_t> ConfigBlock();
};

// What the checks found: code 0 and the image, or a completion code and its detail.
struct ImageCheck {
  int32_t code = 0;
  std::string detail;
  FirmwareImage image;
};

// The rules of the maker's images (CONF block, appended block for "prog" images) apply only to
// the maker's drives; any other image is sent as it is. alignment: 4096 for NVMe, 512 for SATA.
struct ImageRules {
  bool makerRules = false;
  size_t alignment = kFirmwarePieceBytes;
};

// Checks the file's bytes (named fileName, for the "prog"/"rdt" rule) before the first byte is
// sent: empty -10, above 64 MiB -2 "FW image too large", a length that is not a multiple of the
// alignment -5 "FW size not align N", a container without a usable CONF section -255 "No Found
// CONF block".
ImageCheck CheckFirmwareImage(std::vector<uint8_t> file, std::string_view fileName, const ImageRules& rules);

// The checksum kind of an image of this length: the dword at offset 12 of its last 4096 bytes
// against the CRCs of everything before that block.
ChecksumKind DetectChecksum(std::span<const uint8_t> image);
// Rewrites that dword with the CRC of kind (kNone and kUnknown leave it).
void WriteChecksum(std::span<uint8_t> image, ChecksumKind kind);
// The CRC of a block by kind (CRC-32 for every kind but kCrc32c).
uint32_t BlockCrc(std::span<const uint8_t> block, ChecksumKind kind);

// After the configuration block was changed: a container gets its checksum rewritten; a trailing
// or appended block gets the 16-byte header just before it filled when those bytes are all zero.
void RefreshAfterEdit(FirmwareImage& image);

}  // namespace kestrune::devcmd
