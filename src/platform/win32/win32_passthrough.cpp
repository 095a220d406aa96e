// The pass-through requests of Win32Device: SCSI CDBs and ATA task files through the port driver's
// direct pass-through, NVMe entries through the inbox driver, the Intel RST miniport or the
// community NVMe miniport. The request bytes come from the portable layouts; here they only meet
// DeviceIoControl.
#include <windows.h>
// The system headers below need the declarations of windows.h.
#include <ntddscsi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>

#include "platform/win32/win32_device.h"
#include "platform/win_device_text.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_layout_bytes.h"
#include "platform/win_nvme_inbox.h"
#include "platform/win_query_replies.h"
#include "platform/win_scsi_layouts.h"
#include "platform/win_storage_layouts.h"

namespace kestrune::platform::win32 {

// The portable layouts must agree with the system's own declarations where it has them.
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == winio::kSptdHeaderBytes);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 24 &&
              offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 36);
static_assert(sizeof(ATA_PASS_THROUGH_DIRECT) == winio::kAptdBytes);
static_assert(offsetof(ATA_PASS_THROUGH_DIRECT, CurrentTaskFile) == 40);
static_assert(sizeof(SRB_IO_CONTROL) == winio::kSrbIoControlBytes);
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == winio::kPropertyQueryBytes);
static_assert(sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) + 8 == winio::kProtocolQueryHeaderBytes);
static_assert(sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA_EXT) + 8 == winio::kPropertySetHeaderBytes);
static_assert(sizeof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES) == winio::kDataSetAttributesBytes);
static_assert(sizeof(DEVICE_DATA_SET_RANGE) + winio::kDataSetRangeOffset == winio::kTrimRequestBytes);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28);
static_assert(offsetof(DISK_CACHE_INFORMATION, WriteCacheEnabled) == 2);
static_assert(offsetof(DEVICE_TRIM_DESCRIPTOR, TrimEnabled) == 8);
static_assert(offsetof(DISK_GEOMETRY_EX, Geometry.BytesPerSector) == 20);
static_assert(offsetof(PARTITION_INFORMATION_EX, StartingOffset) == 8);
static_assert(sizeof(DISK_EXTENT) == winio::kDiskExtentBytes && offsetof(VOLUME_DISK_EXTENTS, Extents) == 8);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == winio::kIoctlScsiPassThroughDirect);
static_assert(IOCTL_ATA_PASS_THROUGH_DIRECT == winio::kIoctlAtaPassThroughDirect);
static_assert(IOCTL_SCSI_MINIPORT == winio::kIoctlScsiMiniport);
static_assert(IOCTL_SCSI_GET_ADDRESS == winio::kIoctlScsiGetAddress);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == winio::kIoctlStorageQueryProperty);
static_assert(StorageAdapterProperty == winio::kStorageAdapterProperty);
static_assert(sizeof(STORAGE_ADAPTER_DESCRIPTOR) == winio::kAdapterDescriptorBytes &&
              offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumTransferLength) == 8 &&
              offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumPhysicalPages) == 12 &&
              offsetof(STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask) == 16);
static_assert(IOCTL_STORAGE_SET_PROPERTY == winio::kIoctlStorageSetProperty);
static_assert(IOCTL_STORAGE_PROTOCOL_COMMAND == winio::kIoctlStorageProtocolCommand);
static_assert(IOCTL_STORAGE_MANAGE_DATA_SET_ATTRIBUTES == winio::kIoctlStorageManageDataSetAttributes);
static_assert(IOCTL_STORAGE_REINITIALIZE_MEDIA == winio::kIoctlStorageReinitializeMedia);
static_assert(IOCTL_STORAGE_FIRMWARE_DOWNLOAD == winio::kIoctlStorageFirmwareDownload);
static_assert(IOCTL_STORAGE_FIRMWARE_ACTIVATE == winio::kIoctlStorageFirmwareActivate);
static_assert(IOCTL_STORAGE_GET_DEVICE_NUMBER == winio::kIoctlStorageGetDeviceNumber);
static_assert(IOCTL_DISK_GET_LENGTH_INFO == winio::kIoctlDiskGetLengthInfo);
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == winio::kIoctlDiskGetDriveGeometryEx);
static_assert(IOCTL_DISK_GET_PARTITION_INFO_EX == winio::kIoctlDiskGetPartitionInfoEx);
static_assert(IOCTL_DISK_GET_CACHE_INFORMATION == winio::kIoctlDiskGetCacheInformation);
static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == winio::kIoctlVolumeGetVolumeDiskExtents);

namespace {

constexpr uint8_t kOpFirmwareCommit = 0x10, kOpFirmwareDownload = 0x11;
// What a security command that the SCSI form completed with a non-GOOD status reports: the NVMe
// generic "internal error", with the SCSI status in DW0.
constexpr uint16_t kScsiFallbackErrorStatus = 0x0006;

}  // namespace

PassStatus Win32Device::SendSptd(std::span<const uint8_t> cdb, DataDirection direction,
                                 std::span<uint8_t> data, uint32_t timeoutSeconds, uint8_t targetId,
                                 ScsiResult& result) {
  PageBuffer bounce(data.size());
  if (!bounce.ok()) return PassStatus::kFailed;
  if (direction == DataDirection::kOut) std::copy(data.begin(), data.end(), bounce.bytes().begin());

  winio::SptdFields fields;
  fields.cdb = cdb;
  fields.dataIn = data.empty() ? winio::kScsiDataUnspecified : winio::ScsiDataInOf(direction);
  fields.transferLength = static_cast<uint32_t>(data.size());
  fields.timeoutSeconds = timeoutSeconds;
  fields.dataAddress = bounce.address();
  fields.targetId = targetId;
  std::optional<winio::SptdRequest> request = winio::BuildSptd(fields);
  if (!request) return PassStatus::kNotSupported;
  if (!Exchange(handle_.get(), winio::kIoctlScsiPassThroughDirect, *request, request->size()))
    return StatusOfLastError();

  winio::SptdReply reply = winio::ReadSptd(*request);
  result = ScsiResult{};
  result.status = reply.scsiStatus;
  result.senseLength = static_cast<uint32_t>(std::min(reply.sense.size(), result.sense.size()));
  std::copy_n(reply.sense.begin(), result.senseLength, result.sense.begin());
  result.transferred = std::min<uint32_t>(reply.transferred, static_cast<uint32_t>(data.size()));
  if (direction == DataDirection::kIn) std::copy(bounce.bytes().begin(), bounce.bytes().end(), data.begin());
  return PassStatus::kOk;
}

PassStatus Win32Device::Scsi(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> data,
                             uint32_t timeoutSeconds, ScsiResult& result) {
  return SendSptd(cdb, direction, data, timeoutSeconds, 0, result);
}

PassStatus Win32Device::Ata(AtaRegisters& regs, DataDirection direction, std::span<uint8_t> data,
                            uint32_t timeoutSeconds) {
  PageBuffer bounce(data.size());
  if (!bounce.ok()) return PassStatus::kFailed;
  if (direction == DataDirection::kOut) std::copy(data.begin(), data.end(), bounce.bytes().begin());
  const DataDirection carried = data.empty() ? DataDirection::kNone : direction;
  winio::AptdRequest request =
      winio::BuildAptd(regs, carried, static_cast<uint32_t>(data.size()), timeoutSeconds, bounce.address());
  if (!Exchange(handle_.get(), winio::kIoctlAtaPassThroughDirect, request, request.size()))
    return StatusOfLastError();
  winio::ReadAptd(request, regs);
  if (direction == DataDirection::kIn) std::copy(bounce.bytes().begin(), bounce.bytes().end(), data.begin());
  return PassStatus::kOk;
}

PassStatus Win32Device::Nvme(NvmeRoute route, NvmeQueue queue, std::span<const uint8_t, 64> entry,
                             DataDirection direction, std::span<uint8_t> data, uint32_t timeoutSeconds,
                             NvmeCompletion& completion) {
  completion = NvmeCompletion{};
  switch (route) {
    case NvmeRoute::kInbox:
      return NvmeInbox(queue, entry, direction, data, timeoutSeconds, completion);
    case NvmeRoute::kRstMiniport:
      return NvmeRst(queue, entry, direction, data, completion);
    case NvmeRoute::kCommunityMiniport:
      return NvmeCommunity(queue, entry, direction, data, completion);
  }
  return PassStatus::kNotSupported;
}

PassStatus Win32Device::NvmeInbox(NvmeQueue queue, std::span<const uint8_t, 64> entry,
                                  DataDirection direction, std::span<uint8_t> data, uint32_t timeoutSeconds,
                                  NvmeCompletion& completion) {
  std::optional<winio::InboxRequest> request =
      winio::BuildInboxRequest(queue, entry, direction, data, timeoutSeconds);
  if (!request) return PassStatus::kNotSupported;
  if (!Exchange(handle_.get(), request->ioctl, request->buffer, request->outputBytes)) {
    const DWORD error = GetLastError();
    // An activation that is done and only waits for a reset has worked.
    if (request->carriage == winio::InboxCarriage::kFirmwareActivate &&
        error == winio::kActivateDoneAfterResetError)
      return PassStatus::kOk;
    if (request->scsiFallback) return SecurityThroughScsi(entry, direction, data, timeoutSeconds, completion);
    SetLastError(error);
    return StatusOfLastError();
  }
  winio::ReadInboxReply(*request, direction, data, completion);
  return PassStatus::kOk;
}

PassStatus Win32Device::SecurityThroughScsi(std::span<const uint8_t, 64> entry, DataDirection direction,
                                            std::span<uint8_t> data, uint32_t timeoutSeconds,
                                            NvmeCompletion& completion) {
  const auto cdb = winio::SecurityProtocolCdb(entry, static_cast<uint32_t>(data.size()));
  ScsiResult result;
  PassStatus status =
      SendSptd(cdb, direction, data, timeoutSeconds, winio::kSecurityFallbackTargetId, result);
  if (status != PassStatus::kOk) return status;
  if (result.status != 0) {
    completion.dw0 = result.status;
    completion.status = kScsiFallbackErrorStatus;
  }
  return PassStatus::kOk;
}

bool Win32Device::MiniportTarget(HANDLE& port, uint8_t& pathId) {
  if (winio::ScsiPortNumber(path_)) {
    port = handle_.get();
    pathId = 0;
    return true;
  }
  if (!portResolved_) {
    portResolved_ = true;
    auto answer = Query(handle_.get(), winio::kIoctlScsiGetAddress, {}, winio::kScsiAddressBytes);
    std::optional<winio::ScsiAddress> address = answer ? winio::ReadScsiAddress(*answer) : std::nullopt;
    if (address) {
      port_ = OpenPath(winio::ScsiPortPath(address->portNumber), OpenMode::kReadWrite);
      pathId_ = address->pathId;
    }
  }
  if (!port_) return false;
  port = port_.get();
  pathId = pathId_;
  return true;
}

PassStatus Win32Device::NvmeRst(NvmeQueue queue, std::span<const uint8_t, 64> entry, DataDirection direction,
                                std::span<uint8_t> data, NvmeCompletion& completion) {
  HANDLE port = nullptr;
  uint8_t pathId = 0;
  if (!MiniportTarget(port, pathId)) return PassStatus::kNotSupported;

  // The driver takes firmware images and activations as requests of their own.
  if (queue == NvmeQueue::kAdmin && (entry[0] == kOpFirmwareDownload || entry[0] == kOpFirmwareCommit)) {
    std::vector<uint8_t> request =
        entry[0] == kOpFirmwareDownload
            ? winio::BuildRstFirmwareDownload(pathId, winio::Get32(entry, 44) * 4, data)
            : winio::BuildRstFirmwareActivate(pathId);
    return Exchange(port, winio::kIoctlScsiMiniport, request, 0) ? PassStatus::kOk : StatusOfLastError();
  }

  std::vector<uint8_t> request = winio::BuildRstNvme(pathId, queue, entry, data);
  if (!Exchange(port, winio::kIoctlScsiMiniport, request, request.size())) return StatusOfLastError();
  winio::ReadRstNvme(request, direction, data, completion);
  return PassStatus::kOk;
}

PassStatus Win32Device::NvmeCommunity(NvmeQueue queue, std::span<const uint8_t, 64> entry,
                                      DataDirection direction, std::span<uint8_t> data,
                                      NvmeCompletion& completion) {
  HANDLE port = nullptr;
  uint8_t pathId = 0;
  if (!MiniportTarget(port, pathId)) return PassStatus::kNotSupported;
  std::vector<uint8_t> request = winio::BuildCommunityNvme(queue, entry, direction, data);
  if (!Exchange(port, winio::kIoctlScsiMiniport, request, request.size())) return StatusOfLastError();
  winio::ReadCommunityNvme(request, direction, data, completion);
  return PassStatus::kOk;
}

}  // namespace kestrune::platform::win32
