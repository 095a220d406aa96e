// The control codes of the storage, disk, volume and SCSI requests the Windows backend sends, built
// the way the system's CTL_CODE macro builds them, so that portable code and tests can name them.
#pragma once

#include <cstdint>

namespace kestrune::platform::winio {

constexpr uint32_t CtlCode(uint32_t deviceType, uint32_t function, uint32_t method, uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

inline constexpr uint32_t kMethodBuffered = 0;
inline constexpr uint32_t kAnyAccess = 0, kReadAccess = 1, kWriteAccess = 2;
inline constexpr uint32_t kReadWriteAccess = kReadAccess | kWriteAccess;

inline constexpr uint32_t kStorageBase = 0x2D;  // IOCTL_STORAGE_BASE
inline constexpr uint32_t kScsiBase = 0x04;     // IOCTL_SCSI_BASE (FILE_DEVICE_CONTROLLER)
inline constexpr uint32_t kDiskBase = 0x07;     // IOCTL_DISK_BASE (FILE_DEVICE_DISK)
inline constexpr uint32_t kVolumeBase = 0x56;   // IOCTL_VOLUME_BASE ('V')

inline constexpr uint32_t kIoctlStorageGetDeviceNumber =
    CtlCode(kStorageBase, 0x420, kMethodBuffered, kAnyAccess);
inline constexpr uint32_t kIoctlStorageQueryProperty =
    CtlCode(kStorageBase, 0x500, kMethodBuffered, kAnyAccess);
inline constexpr uint32_t kIoctlStorageManageDataSetAttributes =
    CtlCode(kStorageBase, 0x501, kMethodBuffered, kWriteAccess);
inline constexpr uint32_t kIoctlStorageSetProperty =
    CtlCode(kStorageBase, 0x4FF, kMethodBuffered, kWriteAccess);
inline constexpr uint32_t kIoctlStorageProtocolCommand =
    CtlCode(kStorageBase, 0x4F0, kMethodBuffered, kReadWriteAccess);
inline constexpr uint32_t kIoctlStorageReinitializeMedia =
    CtlCode(kStorageBase, 0x590, kMethodBuffered, kWriteAccess);
inline constexpr uint32_t kIoctlStorageFirmwareGetInfo = CtlCode(kStorageBase, 0x700, kMethodBuffered, kAnyAccess);
inline constexpr uint32_t kIoctlStorageFirmwareDownload =
    CtlCode(kStorageBase, 0x701, kMethodBuffered, kReadWriteAccess);
inline constexpr uint32_t kIoctlStorageFirmwareActivate =
    CtlCode(kStorageBase, 0x702, kMethodBuffered, kReadWriteAccess);

inline constexpr uint32_t kIoctlScsiMiniport = CtlCode(kScsiBase, 0x402, kMethodBuffered, kReadWriteAccess);
inline constexpr uint32_t kIoctlScsiPassThroughDirect =
    CtlCode(kScsiBase, 0x405, kMethodBuffered, kReadWriteAccess);
inline constexpr uint32_t kIoctlScsiGetAddress = CtlCode(kScsiBase, 0x406, kMethodBuffered, kAnyAccess);
inline constexpr uint32_t kIoctlAtaPassThroughDirect =
    CtlCode(kScsiBase, 0x40C, kMethodBuffered, kReadWriteAccess);

inline constexpr uint32_t kIoctlDiskGetPartitionInfoEx =
    CtlCode(kDiskBase, 0x12, kMethodBuffered, kAnyAccess);
inline constexpr uint32_t kIoctlDiskGetLengthInfo = CtlCode(kDiskBase, 0x17, kMethodBuffered, kReadAccess);
inline constexpr uint32_t kIoctlDiskGetDriveGeometryEx =
    CtlCode(kDiskBase, 0x28, kMethodBuffered, kAnyAccess);
inline constexpr uint32_t kIoctlDiskGetCacheInformation =
    CtlCode(kDiskBase, 0x35, kMethodBuffered, kReadAccess);

inline constexpr uint32_t kIoctlVolumeGetVolumeDiskExtents =
    CtlCode(kVolumeBase, 0, kMethodBuffered, kAnyAccess);

}  // namespace kestrune::platform::winio
