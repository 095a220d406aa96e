// Decoders of the answers the Windows storage, disk and volume queries give, read from bytes:
// STORAGE_DEVICE_NUMBER, SCSI_ADDRESS, STORAGE_DEVICE_DESCRIPTOR, DISK_GEOMETRY_EX,
// GET_LENGTH_INFORMATION, PARTITION_INFORMATION_EX, VOLUME_DISK_EXTENTS, DISK_CACHE_INFORMATION,
// DEVICE_TRIM_DESCRIPTOR, STORAGE_ADAPTER_DESCRIPTOR. Each returns nullopt when the answer is too short to hold its field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrune::platform::winio {

inline constexpr size_t kDeviceNumberBytes = 12;
inline constexpr size_t kScsiAddressBytes = 8;
inline constexpr size_t kDeviceDescriptorMinBytes = 32;  // through BusType
inline constexpr size_t kGeometryExBytes = 40;
inline constexpr size_t kLengthInfoBytes = 8;
inline constexpr size_t kPartitionInfoExBytes = 144;
inline constexpr size_t kCacheInformationBytes = 24;
inline constexpr size_t kTrimDescriptorBytes = 12;
inline constexpr size_t kAdapterDescriptorBytes = 32;
inline constexpr size_t kDiskExtentsHeaderBytes = 8;
inline constexpr size_t kDiskExtentBytes = 24;

inline constexpr uint32_t kFileDeviceDisk = 7;  // STORAGE_DEVICE_NUMBER.DeviceType of a disk

struct DeviceNumber {
  uint32_t deviceType = 0;
  uint32_t deviceNumber = 0;
  uint32_t partitionNumber = 0;
};
std::optional<DeviceNumber> ReadDeviceNumber(std::span<const uint8_t> answer);

struct ScsiAddress {
  uint8_t portNumber = 0, pathId = 0, targetId = 0, lun = 0;
};
std::optional<ScsiAddress> ReadScsiAddress(std::span<const uint8_t> answer);

struct DeviceDescriptor {
  uint32_t busType = 0;    // byte 28
  bool removable = false;  // byte 10
};
std::optional<DeviceDescriptor> ReadDeviceDescriptor(std::span<const uint8_t> answer);

// DISK_GEOMETRY_EX: bytes per sector (byte 20).
std::optional<uint32_t> ReadBytesPerSector(std::span<const uint8_t> answer);
// GET_LENGTH_INFORMATION: the length in bytes.
std::optional<uint64_t> ReadLength(std::span<const uint8_t> answer);
// PARTITION_INFORMATION_EX: the partition's starting offset (byte 8).
std::optional<uint64_t> ReadPartitionOffset(std::span<const uint8_t> answer);
// DISK_CACHE_INFORMATION: the write-cache-enabled byte (byte 2).
std::optional<bool> ReadWriteCacheEnabled(std::span<const uint8_t> answer);
// DEVICE_TRIM_DESCRIPTOR: the trim-enabled byte (byte 8).
std::optional<bool> ReadTrimEnabled(std::span<const uint8_t> answer);

// STORAGE_ADAPTER_DESCRIPTOR: what one transfer through the adapter carries. MaximumTransferLength
// (byte 8), bounded by MaximumPhysicalPages (byte 12) less one page for a buffer that does not
// start on a page; AlignmentMask (byte 16) + 1 as the alignment. 0 where the adapter names none.
struct AdapterLimit {
  uint32_t maxBytes = 0;
  uint32_t alignment = 0;
};
std::optional<AdapterLimit> ReadAdapterLimit(std::span<const uint8_t> answer);

struct DiskExtent {
  uint32_t diskNumber = 0;
  uint64_t startingOffset = 0;
  uint64_t length = 0;
};
// VOLUME_DISK_EXTENTS: the extents the answer holds (fewer than announced when it was cut short);
// nullopt when not even the count is there.
std::optional<std::vector<DiskExtent>> ReadDiskExtents(std::span<const uint8_t> answer);

}  // namespace kestrune::platform::winio
