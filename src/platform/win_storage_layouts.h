// Request layouts of the storage-class IOCTLs on Windows, as portable bytes: STORAGE_PROPERTY_QUERY
// (standard and NVMe protocol-specific), STORAGE_PROPERTY_SET, STORAGE_PROTOCOL_COMMAND,
// STORAGE_HW_FIRMWARE_DOWNLOAD / _ACTIVATE, the firmware information query and answer, and
// DEVICE_MANAGE_DATA_SET_ATTRIBUTES with one range.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/device.h"

namespace kestrune::platform::winio {

// STORAGE_PROPERTY_ID values used here.
inline constexpr uint32_t kStorageDeviceProperty = 0;
inline constexpr uint32_t kStorageAdapterProperty = 1;
inline constexpr uint32_t kStorageDeviceTrimProperty = 8;
inline constexpr uint32_t kStorageAdapterProtocolSpecificProperty = 49;
inline constexpr uint32_t kStorageDeviceProtocolSpecificProperty = 50;

inline constexpr size_t kPropertyQueryBytes = 12;  // sizeof(STORAGE_PROPERTY_QUERY)

// PropertyId, QueryType 0 (standard query), no additional parameters.
std::array<uint8_t, kPropertyQueryBytes> StandardPropertyQuery(uint32_t propertyId);

// --- NVMe protocol-specific data --------------------------------------------------------------

inline constexpr uint32_t kProtocolTypeNvme = 3;
// STORAGE_PROTOCOL_NVME_DATA_TYPE
inline constexpr uint32_t kNvmeDataTypeIdentify = 1;
inline constexpr uint32_t kNvmeDataTypeLogPage = 2;
inline constexpr uint32_t kNvmeDataTypeFeature = 3;

inline constexpr size_t kProtocolQueryHeaderBytes =
    48;  // query header (8) + STORAGE_PROTOCOL_SPECIFIC_DATA (40)
inline constexpr size_t kProtocolDataAreaBytes = 4096;
inline constexpr uint32_t kProtocolDataOffset = 40;  // from the start of the protocol-specific data
inline constexpr size_t kReturnDataAt = 32;          // FixedProtocolReturnData, in query and answer alike

struct ProtocolQuery {
  uint32_t propertyId = kStorageAdapterProtocolSpecificProperty;
  uint32_t dataType = kNvmeDataTypeIdentify;
  uint32_t requestValue = 0;
  uint32_t requestSubValue = 0;
  uint32_t requestSubValue2 = 0;
  uint32_t requestSubValue3 = 0;
  uint32_t requestSubValue4 = 0;
  uint32_t dataLength = 0;  // 0: no data area, the buffer is the 48-byte header
};

// One buffer for input and output: 48 bytes, then dataLength bytes of data area (data at byte 48).
std::vector<uint8_t> BuildProtocolQuery(const ProtocolQuery& query);

inline constexpr size_t kPropertySetHeaderBytes =
    72;  // set header (8) + STORAGE_PROTOCOL_SPECIFIC_DATA_EXT (64)
inline constexpr size_t kPropertySetBytes = kPropertySetHeaderBytes + kProtocolDataAreaBytes;  // 4168

// Set Features through STORAGE_PROPERTY_SET: PropertyId 49, SetType 0, NVMe feature data with
// ProtocolDataValue = cdw10 and ProtocolDataSubValue = cdw11. Without data the data area is not in
// use (offset and length 0); a feature that carries data (at most 4096 bytes) gets it at byte 72.
std::vector<uint8_t> BuildFeatureSet(uint32_t cdw10, uint32_t cdw11, std::span<const uint8_t> data = {});

// --- STORAGE_PROTOCOL_COMMAND -----------------------------------------------------------------

inline constexpr size_t kProtocolCommandStructBytes = 84;  // sizeof(STORAGE_PROTOCOL_COMMAND)
inline constexpr size_t kProtocolCommandEntryOffset = 80;
inline constexpr size_t kProtocolCommandDataOffset = 144;  // after the 64-byte command
inline constexpr uint32_t kProtocolCommandFlagAdapterRequest = 0x80000000;

// 144 + data bytes: Version 1, Length 84, NVMe, adapter request, the entry at 80, data at 144 (copied
// in for data out; the transfer length of the direction carries data.size()), CommandSpecific 1 for
// the admin queue and 2 for the I/O queue.
std::vector<uint8_t> BuildProtocolCommand(NvmeQueue queue, std::span<const uint8_t, 64> entry,
                                          DataDirection direction, std::span<const uint8_t> data,
                                          uint32_t timeoutSeconds);

struct ProtocolCommandReply {
  uint32_t returnStatus = 0;
  uint32_t errorCode = 0;
  uint32_t fixedReturnData = 0;  // the completion's DW0
};
ProtocolCommandReply ReadProtocolCommand(std::span<const uint8_t> reply);

// --- Firmware -----------------------------------------------------------------------------------

inline constexpr size_t kFirmwareImageOffset = 32;
inline constexpr size_t kFirmwareDownloadStructBytes = 40;  // sizeof(STORAGE_HW_FIRMWARE_DOWNLOAD)
inline constexpr size_t kFirmwareActivateBytes = 16;
inline constexpr uint32_t kFirmwareFlagController = 0x1;
inline constexpr uint32_t kFirmwareFlagSwitchToExisting = 0x80000000;

// 40 + image bytes (the image from byte 32): Version 40, Size = the buffer size, controller, slot 1,
// the byte offset and the image length.
std::vector<uint8_t> BuildFirmwareDownload(uint64_t offset, std::span<const uint8_t> image);

// Version 16, Size 16, controller (plus "switch to existing firmware" for action 2 only), slot.
std::array<uint8_t, kFirmwareActivateBytes> BuildFirmwareActivate(uint8_t slot, uint8_t action);

// The system error of a firmware activation that is done but waits for a reset.
inline constexpr uint32_t kActivateDoneAfterResetError = 0x30207;

// --- Firmware information ----------------------------------------------------------------------
// IOCTL_STORAGE_FIRMWARE_GET_INFO takes STORAGE_HW_FIRMWARE_INFO_QUERY and answers
// STORAGE_HW_FIRMWARE_INFO: a fixed head, then one STORAGE_HW_FIRMWARE_SLOT_INFO per slot. These
// mirror the system's layouts field for field (the bit fields as whole bytes); the bytes are built
// and read at their offsets.
struct FirmwareInfoQueryLayout {
  uint32_t version;  // sizeof the query
  uint32_t size;
  uint32_t flags;    // kFirmwareFlagController: the controller's firmware
  uint32_t reserved;
};
struct FirmwareInfoHeadLayout {
  uint32_t version;  // sizeof(STORAGE_HW_FIRMWARE_INFO), the head and one slot
  uint32_t size;     // the whole answer with every slot
  uint8_t supportUpgrade;  // bit 0
  uint8_t slotCount;
  uint8_t activeSlot;
  uint8_t pendingActivateSlot;
  uint8_t firmwareShared;
  uint8_t reserved[3];
  uint32_t imagePayloadAlignment;  // bytes every piece's offset and length keep; 0: not given
  uint32_t imagePayloadMaxSize;    // most bytes one download carries; 0: not given
};
struct FirmwareSlotInfoLayout {
  uint32_t version;
  uint32_t size;
  uint8_t slotNumber;
  uint8_t readOnly;  // bit 0
  uint8_t reserved[6];
  uint8_t revision[16];
};
static_assert(sizeof(FirmwareInfoQueryLayout) == 16);
static_assert(sizeof(FirmwareInfoHeadLayout) == 24 && offsetof(FirmwareInfoHeadLayout, slotCount) == 9 &&
              offsetof(FirmwareInfoHeadLayout, imagePayloadAlignment) == 16 &&
              offsetof(FirmwareInfoHeadLayout, imagePayloadMaxSize) == 20);
static_assert(sizeof(FirmwareSlotInfoLayout) == 32 && offsetof(FirmwareSlotInfoLayout, revision) == 16);

inline constexpr size_t kFirmwareInfoQueryBytes = sizeof(FirmwareInfoQueryLayout);
inline constexpr size_t kFirmwareInfoBytes = sizeof(FirmwareInfoHeadLayout) + sizeof(FirmwareSlotInfoLayout);
// Room for the seven slots NVMe allows.
inline constexpr size_t kFirmwareInfoReplyBytes = sizeof(FirmwareInfoHeadLayout) + 7 * sizeof(FirmwareSlotInfoLayout);

// Version 16, Size 16, the controller's firmware.
std::array<uint8_t, kFirmwareInfoQueryBytes> BuildFirmwareInfoQuery();

struct FirmwareInfoReply {
  bool supportUpgrade = false;
  uint8_t slotCount = 0;
  uint8_t activeSlot = 0;
  uint8_t pendingActivateSlot = 0;
  uint32_t payloadAlignment = 0;
  uint32_t payloadMaxSize = 0;
};
// The head of an answer of returned bytes; nullopt when it is shorter than the head or its own
// sizes say so.
std::optional<FirmwareInfoReply> ReadFirmwareInfo(std::span<const uint8_t> reply, uint32_t returned);

// --- Trim ---------------------------------------------------------------------------------------

inline constexpr size_t kDataSetAttributesBytes = 28;  // sizeof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES)
inline constexpr size_t kDataSetRangeOffset = 32;
inline constexpr size_t kTrimRequestBytes = 48;
inline constexpr uint32_t kDsmActionTrim = 1;
inline constexpr uint32_t kDsmFlagTrimNotFsAllocated = 0x80000000;

// One trim range of length bytes at offset, for ranges no file system has allocated.
std::array<uint8_t, kTrimRequestBytes> BuildTrimRequest(uint64_t offset, uint64_t length);

}  // namespace kestrune::platform::winio
