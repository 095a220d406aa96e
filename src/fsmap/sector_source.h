// Where the NTFS walker reads a volume from: a volume of a disk (through the disk layer's sector
// I/O), an image file, or bytes in memory. Sector numbers are relative to the volume's start.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/device.h"

namespace kestrune::fsmap {

// The most bytes one read of the walker asks for.
inline constexpr uint32_t kMaxReadBytes = 1u << 20;

class SectorSource {
 public:
  virtual ~SectorSource() = default;
  virtual uint32_t SectorSize() const = 0;
  virtual uint64_t SectorCount() const = 0;
  // Reads count sectors at sector into out (at least count × SectorSize bytes). A completion code:
  // 1, -2 for a range past the end, -3 when the read fails.
  virtual int32_t Read(uint64_t sector, uint32_t count, std::span<uint8_t> out) = 0;
};

// Reads out.size() bytes at byte offset of source, whole sectors at a time and at most kMaxReadBytes
// a request. Codes as SectorSource::Read.
int32_t ReadBytes(SectorSource& source, uint64_t offset, std::span<uint8_t> out);

// Bytes in memory (not copied: they outlive the source).
class ByteSource final : public SectorSource {
 public:
  ByteSource(std::span<const uint8_t> bytes, uint32_t sectorSize) : bytes_(bytes), sectorSize_(sectorSize) {}
  uint32_t SectorSize() const override { return sectorSize_; }
  uint64_t SectorCount() const override { return sectorSize_ ? bytes_.size() / sectorSize_ : 0; }
  int32_t Read(uint64_t sector, uint32_t count, std::span<uint8_t> out) override;

 private:
  std::span<const uint8_t> bytes_;
  uint32_t sectorSize_;
};

// An image file of a volume. Open gives nullptr when the file does not open.
class ImageFileSource final : public SectorSource {
 public:
  static std::unique_ptr<ImageFileSource> Open(const std::string& path, uint32_t sectorSize);
  ~ImageFileSource() override;
  uint32_t SectorSize() const override { return sectorSize_; }
  uint64_t SectorCount() const override { return sectors_; }
  int32_t Read(uint64_t sector, uint32_t count, std::span<uint8_t> out) override;

 private:
  ImageFileSource(std::FILE* file, uint32_t sectorSize, uint64_t sectors)
      : file_(file), sectorSize_(sectorSize), sectors_(sectors) {}
  std::FILE* file_;
  uint32_t sectorSize_;
  uint64_t sectors_;
};

// How many sectors a volume spans: its device's length (the partition), or where the device does
// not say, the size its file system reports. The file system's size alone is too short for the
// walker: it counts whole clusters, while an NTFS boot sector counts the partition's sectors.
uint64_t VolumeSectorCount(platform::DeviceTree& tree, const platform::VolumeNode& volume, uint32_t sectorSize);

// A volume path of the device tree ("\\.\D:", "/dev/sdb1"), sectorCount sectors long.
class VolumeSource final : public SectorSource {
 public:
  VolumeSource(platform::DeviceTree& tree, std::string path, uint32_t sectorSize, uint64_t sectorCount)
      : tree_(tree), path_(std::move(path)), sectorSize_(sectorSize), sectors_(sectorCount) {}
  // The whole volume (VolumeSectorCount).
  VolumeSource(platform::DeviceTree& tree, const platform::VolumeNode& volume, uint32_t sectorSize)
      : VolumeSource(tree, volume.path, sectorSize, VolumeSectorCount(tree, volume, sectorSize)) {}
  uint32_t SectorSize() const override { return sectorSize_; }
  uint64_t SectorCount() const override { return sectors_; }
  int32_t Read(uint64_t sector, uint32_t count, std::span<uint8_t> out) override;

 private:
  platform::DeviceTree& tree_;
  std::string path_;
  uint32_t sectorSize_;
  uint64_t sectors_;
};

}  // namespace kestrune::fsmap
