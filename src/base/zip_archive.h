// ZIP archives: the program's own package, whose local file headers carry the signature
// "VD\x03\x04" instead of "PK\x03\x04", read whole into memory; and ordinary archives on disk
// (either signature, ZIP64 included) whose entries are streamed to files, so that an entry of many
// gigabytes never sits in memory. Entries are stored (method 0) or deflated (method 8).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host.h"

namespace kestrune::base {

inline constexpr uint8_t kLocalHeaderSignature[4] = {'V', 'D', 0x03, 0x04};
inline constexpr uint8_t kStandardLocalHeaderSignature[4] = {'P', 'K', 0x03, 0x04};

// Bounds that keep a damaged or hostile package from exhausting memory or disk.
inline constexpr uint64_t kMaxEntryBytes = 256ull << 20;
inline constexpr uint64_t kMaxArchiveBytes = 1024ull << 20;
inline constexpr size_t kMaxEntries = 10000;

// Bounds of archives on disk: an entry streamed to a file may be large, but never larger than its
// compressed bytes can inflate to (deflate expands at most about 1032 times), and the central
// directory is read into memory, so it is bounded too.
inline constexpr uint64_t kMaxStreamedEntryBytes = 1ull << 40;
inline constexpr uint64_t kMaxCentralDirectoryBytes = 64ull << 20;
inline constexpr uint64_t kMaxInflateRatio = 1032;

struct ZipEntry {
  std::string name;           // relative path with "/" separators; ends with "/" for a folder
  std::vector<uint8_t> data;  // uncompressed bytes
};

// Reads every entry of a package, inflating and checking CRC-32 and sizes; local headers must carry
// the package signature. Entry names that are absolute, hold a drive letter or a ".." component are
// refused. On failure returns false and sets error to one line saying what is wrong; entries is
// then unspecified.
bool ReadZip(std::span<const uint8_t> archive, std::vector<ZipEntry>& entries, std::string& error);

// Builds an archive from entries (deflated when that is smaller, else stored). The local headers get
// the package signature when packageSignature is set, else the standard one. With zip64 every
// entry's sizes and offset go into ZIP64 extra fields and the archive ends with the ZIP64 end
// records (as a writer must for archives past 4 GiB).
std::vector<uint8_t> WriteZip(const std::vector<ZipEntry>& entries, bool packageSignature,
                              bool zip64 = false);

// Extracts a package into folder (which must exist). Nothing is written unless the whole archive
// reads cleanly. Returns false with a one-line error on any failure.
bool ExtractPackage(std::span<const uint8_t> archive, const std::string& folder, platform::Host& host,
                    std::string& error);

// One entry of the central directory of an archive on disk.
struct ZipEntryInfo {
  std::string name;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t packedSize = 0;
  uint64_t size = 0;
  uint64_t localOffset = 0;
};

// Lists the entries of the archive at path (standard or package signature, ZIP64 or not). False
// with a one-line error when the file cannot be read or its directory is damaged or out of bounds.
bool ListZipFile(const std::string& path, std::vector<ZipEntryInfo>& entries, std::string& error);

// Told the bytes written so far and the entry's size; returning false stops the extraction.
using ZipProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Streams the entry named entryName (compared exactly) of the archive at zipPath into destPath
// (created or truncated), inflating in pieces and checking the CRC-32 and the size as it goes.
// False with a one-line error when the entry is missing, unsafe, encrypted, damaged, longer or
// shorter than declared, fails its CRC, cannot be written, or progress stopped it; destPath may
// then hold part of the bytes and the caller removes it.
bool ExtractZipEntryToFile(const std::string& zipPath, std::string_view entryName,
                           const std::string& destPath, std::string& error, const ZipProgress& progress = {});

}  // namespace kestrune::base
