// Where a file's bytes lie on its disk: extents in file order, each a run of file bytes at a byte
// offset of the whole disk (not of the volume), with what the file system says about them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::fsmap {

namespace extent_flag {
inline constexpr uint32_t kUnwritten = 0x01;  // allocated, reads as zeros (not the disk's bytes)
inline constexpr uint32_t kInline = 0x02;     // kept in file-system metadata, not in blocks of its own
inline constexpr uint32_t kDelalloc = 0x04;   // not yet given a place on the disk (no disk offset)
inline constexpr uint32_t kResident = 0x08;   // NTFS: the data lies in the MFT record itself
inline constexpr uint32_t kUnaligned = 0x10;  // does not start on a sector boundary
inline constexpr uint32_t kEncoded = 0x20;    // compressed or encrypted: the disk's bytes are not the file's
}  // namespace extent_flag

struct FileExtent {
  uint64_t fileOffset = 0;
  uint64_t diskByte = 0;  // byte offset on the disk
  uint64_t length = 0;
  uint32_t flags = 0;
  bool operator==(const FileExtent&) const = default;
};

struct FileMap {
  int32_t code = 1;                 // 1, else the completion code of the failure
  std::string why;                  // a sentence for a failure
  std::vector<FileExtent> extents;  // in file order, holes left out
  uint64_t fileSize = 0;
  std::string diskPath;             // the whole disk the offsets are on ("/dev/sdb", "\\.\PHYSICALDRIVE1")
  uint32_t sectorSize = 512;        // that disk's logical sector size
  uint64_t mftId = 0;               // NTFS walks: the file's record (resident data lies there)
};

// The extents of a file, cut to the file size: ordered, holes skipped. Adjacent pieces stay apart.
std::vector<FileExtent> CutToSize(std::vector<FileExtent> extents, uint64_t fileSize);

}  // namespace kestrune::fsmap
