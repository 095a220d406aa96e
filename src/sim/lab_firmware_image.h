// The lab's firmware image format, fixed so that tools outside this repository can build images
// (tools/make_lab_firmware.py writes them):
//   the length is a multiple of 4096;
//   bytes 0-7   "KSTRNFW1";
//   bytes 8-15  the revision, 8 ASCII characters (what Identify reports as FR once it runs);
//   bytes 16-19 the CRC-32 (zlib's) of the whole image with these four bytes taken as zero,
//               little-endian;
//   the rest is payload.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::sim {

inline constexpr size_t kLabImageUnit = 4096;
inline constexpr std::string_view kLabImageMagic = "KSTRNFW1";

// The revision of a sound lab image; nullopt when the length, the magic, the revision text or the
// CRC is wrong.
std::optional<std::string> LabImageRevision(std::span<const uint8_t> image);

// A sound lab image of revision (at most 8 characters, blank-padded) and bytes (rounded up to a
// multiple of 4096), its payload filled with fill.
std::vector<uint8_t> MakeLabImage(std::string_view revision, size_t bytes, uint8_t fill = 0);

}  // namespace kestrune::sim
