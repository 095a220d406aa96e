// The package archive: a ZIP archive whose local file headers carry the signature "VD\x03\x04"
// instead of "PK\x03\x04". Entries are stored (method 0) or deflated (method 8).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/host.h"

namespace kestrune::app {

inline constexpr uint8_t kLocalHeaderSignature[4] = {'V', 'D', 0x03, 0x04};

// Bounds that keep a damaged or hostile archive from exhausting memory or disk.
inline constexpr uint64_t kMaxEntryBytes = 256ull << 20;
inline constexpr uint64_t kMaxArchiveBytes = 1024ull << 20;
inline constexpr size_t kMaxEntries = 10000;

struct ZipEntry {
  std::string name;            // relative path with "/" separators; ends with "/" for a folder
  std::vector<uint8_t> data;   // uncompressed bytes
};

// Reads every entry, inflating and checking CRC-32 and sizes. Entry names that are absolute, hold a
// drive letter or a ".." component are refused. On failure returns false and sets error to one line
// saying what is wrong; entries is then unspecified.
bool ReadZip(std::span<const uint8_t> archive, std::vector<ZipEntry>& entries, std::string& error);

// Builds an archive from entries (deflated when that is smaller, else stored). The local headers get
// the package signature when packageSignature is set, else the standard one.
std::vector<uint8_t> WriteZip(const std::vector<ZipEntry>& entries, bool packageSignature);

// Extracts a package into folder (which must exist). Nothing is written unless the whole archive
// reads cleanly. Returns false with a one-line error on any failure.
bool ExtractPackage(std::span<const uint8_t> archive, const std::string& folder, platform::Host& host,
                    std::string& error);

}  // namespace kestrune::app
