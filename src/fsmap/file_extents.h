// The FileExtents seam: where the file system itself says a file's bytes lie (GetFileLBA with
// NtfsTrace FALSE). Linux asks FIEMAP (fsmap/linux), Windows FSCTL_GET_RETRIEVAL_POINTERS and
// IOCTL_VOLUME_LOGICAL_TO_PHYSICAL (fsmap/win32); the simulated lab, and file systems that give no
// extents (an NTFS volume mounted through FUSE), are answered by the NTFS walker.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fsmap/file_extent.h"
#include "platform/device.h"

namespace kestrune::fsmap {

class FileExtents {
 public:
  virtual ~FileExtents() = default;
  // The extents of file (a full path). code -11 when it does not open, -79 where the file system
  // cannot say (btrfs, device-mapper, MD RAID), -74 when the system refuses the query.
  virtual FileMap Map(const std::string& file) = 0;
};

// The system's own answer; tree opens the volumes the walker reads where the file system gives no
// extents. nullptr where the system has no such query.
std::unique_ptr<FileExtents> CreateSystemFileExtents(platform::DeviceTree& tree);

// The volume a file path names among snapshot's volumes: "X:\dir\file" by its letter, a Linux path
// by the longest mount point it starts with, a path from the root ("\dir\file") on fallbackVolume.
// The path's components below the volume's root are filled in.
struct VolumeOfPath {
  platform::VolumeNode volume;
  std::vector<std::string> components;
};
std::optional<VolumeOfPath> FindVolumeOfPath(const platform::DeviceSnapshot& snapshot, const std::string& file,
                                             const std::string& fallbackVolume);

// The whole disk a volume lies on and its sector size, from the snapshot; diskPath and sectorSize
// stay as they are when the snapshot does not say.
void DiskOfVolume(const platform::DeviceSnapshot& snapshot, const platform::VolumeNode& volume, std::string& diskPath,
                  uint32_t& sectorSize);

// The walker as a FileExtents: finds the file's volume in the tree's snapshot and walks its MFT.
// diskPath and sectorSize are the volume's disk, where the offsets lie.
class WalkerFileExtents final : public FileExtents {
 public:
  WalkerFileExtents(platform::DeviceTree& tree, std::string fallbackVolume, std::string diskPath,
                    uint32_t sectorSize)
      : tree_(tree), fallback_(std::move(fallbackVolume)), diskPath_(std::move(diskPath)), sectorSize_(sectorSize) {}
  FileMap Map(const std::string& file) override;

 private:
  platform::DeviceTree& tree_;
  std::string fallback_;
  std::string diskPath_;
  uint32_t sectorSize_;
};

// Walks the volume at volumePath (a device of tree, sectorSize sectors, starting at the disk byte
// partitionOffset) to the file below its root named by components.
FileMap WalkToFile(platform::DeviceTree& tree, const platform::VolumeNode& volume, uint32_t sectorSize,
                   std::span<const std::string> components);

// ---- Request and answer layouts of the system queries, built and read by portable code ----

// Linux struct fiemap / fiemap_extent.
namespace fiemap {
inline constexpr size_t kHeaderBytes = 32;  // fm_start, fm_length, fm_flags, fm_mapped_extents, fm_extent_count, reserved
inline constexpr size_t kExtentBytes = 56;  // fe_logical, fe_physical, fe_length, 2 reserved, fe_flags, 3 reserved
inline constexpr uint32_t kFlagSync = 0x00000001;
inline constexpr uint32_t kExtentLast = 0x00000001;
inline constexpr uint32_t kExtentUnknown = 0x00000002;
inline constexpr uint32_t kExtentDelalloc = 0x00000004;
inline constexpr uint32_t kExtentEncoded = 0x00000008;
inline constexpr uint32_t kExtentDataEncrypted = 0x00000080;
inline constexpr uint32_t kExtentNotAligned = 0x00000100;
inline constexpr uint32_t kExtentDataInline = 0x00000200;
inline constexpr uint32_t kExtentDataTail = 0x00000400;
inline constexpr uint32_t kExtentUnwritten = 0x00000800;
inline constexpr uint32_t kExtentShared = 0x00002000;
// The request: from start, length bytes, room for count extents, FIEMAP_FLAG_SYNC.
std::vector<uint8_t> Request(uint64_t start, uint64_t length, uint32_t count);
struct Answer {
  std::vector<FileExtent> extents;  // diskByte relative to the partition; the caller adds its start
  bool last = false;                // the last extent of the file is among them
  uint64_t next = 0;                // where the next request starts
};
// Reads an answer buffer (as the kernel left it); nullopt when its counts do not fit the buffer.
std::optional<Answer> ReadAnswer(std::span<const uint8_t> buffer);
}  // namespace fiemap

// Windows STARTING_VCN_INPUT_BUFFER / RETRIEVAL_POINTERS_BUFFER, VOLUME_LOGICAL_OFFSET /
// VOLUME_PHYSICAL_OFFSETS.
namespace retrieval {
inline constexpr size_t kStartingVcnBytes = 8;
inline constexpr size_t kPointersHeaderBytes = 16;  // ExtentCount (u32, padded), StartingVcn (i64)
inline constexpr size_t kPointerBytes = 16;         // NextVcn (i64), Lcn (i64)
inline constexpr size_t kLogicalOffsetBytes = 8;
inline constexpr size_t kPhysicalOffsetsHeaderBytes = 8;  // NumberOfPhysicalOffsets (u32), padding
inline constexpr size_t kPhysicalOffsetBytes = 16;        // DiskNumber (u32, padded), Offset (i64)
std::vector<uint8_t> StartingVcn(int64_t vcn);
struct Pointers {
  struct Piece {
    int64_t vcn = 0;
    int64_t lcn = -1;  // -1: a hole
    uint64_t clusters = 0;
  };
  std::vector<Piece> pieces;
  int64_t nextVcn = 0;  // where the next request starts (the last piece's end)
};
// Reads returned bytes of an answer; nullopt when the count does not fit or the VCNs go backwards.
std::optional<Pointers> ReadPointers(std::span<const uint8_t> buffer);
std::vector<uint8_t> LogicalOffset(int64_t volumeByte);
struct PhysicalOffset {
  uint32_t diskNumber = 0;
  int64_t offset = 0;
};
std::optional<PhysicalOffset> ReadPhysicalOffsets(std::span<const uint8_t> buffer);
}  // namespace retrieval

}  // namespace kestrune::fsmap
