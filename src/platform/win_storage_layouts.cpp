#include "platform/win_storage_layouts.h"

#include <algorithm>

#include "platform/win_layout_bytes.h"

namespace kestrune::platform::winio {
namespace {

// STORAGE_PROPERTY_QUERY / STORAGE_PROPERTY_SET header, then the protocol-specific data from byte 8.
constexpr size_t kPropertyId = 0, kQueryType = 4, kProtocolData = 8;
// STORAGE_PROTOCOL_SPECIFIC_DATA(_EXT), relative to its start.
constexpr size_t kProtocolType = 0, kDataType = 4, kRequestValue = 8, kRequestSubValue = 12,
                 kDataOffsetField = 16, kDataLengthField = 20, kSubValue2 = 28, kSubValue3 = 32,
                 kSubValue4 = 36;

// STORAGE_PROTOCOL_COMMAND
constexpr size_t kPcVersion = 0, kPcLength = 4, kPcProtocolType = 8, kPcFlags = 12, kPcReturnStatus = 16,
                 kPcErrorCode = 20, kPcCommandLength = 24, kPcErrorInfoLength = 28, kPcToDeviceLength = 32,
                 kPcFromDeviceLength = 36, kPcTimeout = 40, kPcErrorInfoOffset = 44, kPcToDeviceOffset = 48,
                 kPcFromDeviceOffset = 52, kPcCommandSpecific = 56, kPcFixedReturnData = 64;
constexpr uint32_t kProtocolCommandVersion = 1;
constexpr uint32_t kSpecificAdminCommand = 1, kSpecificNvmCommand = 2;

}  // namespace

std::array<uint8_t, kPropertyQueryBytes> StandardPropertyQuery(uint32_t propertyId) {
  std::array<uint8_t, kPropertyQueryBytes> q{};
  Put32(q, kPropertyId, propertyId);
  Put32(q, kQueryType, 0);
  return q;
}

std::vector<uint8_t> BuildProtocolQuery(const ProtocolQuery& query) {
  std::vector<uint8_t> b(kProtocolQueryHeaderBytes + query.dataLength, 0);
  std::span<uint8_t> data = std::span<uint8_t>(b).subspan(kProtocolData);
  Put32(b, kPropertyId, query.propertyId);
  Put32(b, kQueryType, 0);
  Put32(data, kProtocolType, kProtocolTypeNvme);
  Put32(data, kDataType, query.dataType);
  Put32(data, kRequestValue, query.requestValue);
  Put32(data, kRequestSubValue, query.requestSubValue);
  Put32(data, kDataOffsetField, query.dataLength == 0 ? 0 : kProtocolDataOffset);
  Put32(data, kDataLengthField, query.dataLength);
  Put32(data, kSubValue2, query.requestSubValue2);
  Put32(data, kSubValue3, query.requestSubValue3);
  Put32(data, kSubValue4, query.requestSubValue4);
  return b;
}

std::vector<uint8_t> BuildFeatureSet(uint32_t cdw10, uint32_t cdw11, std::span<const uint8_t> featureData) {
  std::vector<uint8_t> b(kPropertySetBytes, 0);
  std::span<uint8_t> data = std::span<uint8_t>(b).subspan(kProtocolData);
  Put32(b, kPropertyId, kStorageAdapterProtocolSpecificProperty);
  Put32(b, kQueryType, 0);  // SetType: standard set
  Put32(data, kProtocolType, kProtocolTypeNvme);
  Put32(data, kDataType, kNvmeDataTypeFeature);
  Put32(data, kRequestValue, cdw10);
  Put32(data, kRequestSubValue, cdw11);
  if (!featureData.empty() && featureData.size() <= kProtocolDataAreaBytes) {
    Put32(data, kDataOffsetField, kPropertySetHeaderBytes - kProtocolData);
    Put32(data, kDataLengthField, static_cast<uint32_t>(featureData.size()));
    std::copy(featureData.begin(), featureData.end(), b.begin() + kPropertySetHeaderBytes);
  }
  return b;
}

std::vector<uint8_t> BuildProtocolCommand(NvmeQueue queue, std::span<const uint8_t, 64> entry,
                                          DataDirection direction, std::span<const uint8_t> data,
                                          uint32_t timeoutSeconds) {
  std::vector<uint8_t> b(kProtocolCommandDataOffset + data.size(), 0);
  const auto length = static_cast<uint32_t>(data.size());
  Put32(b, kPcVersion, kProtocolCommandVersion);
  Put32(b, kPcLength, kProtocolCommandStructBytes);
  Put32(b, kPcProtocolType, kProtocolTypeNvme);
  Put32(b, kPcFlags, kProtocolCommandFlagAdapterRequest);
  Put32(b, kPcCommandLength, 64);
  Put32(b, kPcErrorInfoLength, 0);
  Put32(b, kPcToDeviceLength, direction == DataDirection::kOut ? length : 0);
  Put32(b, kPcFromDeviceLength, direction == DataDirection::kIn ? length : 0);
  Put32(b, kPcTimeout, timeoutSeconds);
  Put32(b, kPcErrorInfoOffset, 0);
  Put32(b, kPcToDeviceOffset, kProtocolCommandDataOffset);
  Put32(b, kPcFromDeviceOffset, kProtocolCommandDataOffset);
  Put32(b, kPcCommandSpecific, queue == NvmeQueue::kAdmin ? kSpecificAdminCommand : kSpecificNvmCommand);
  std::copy(entry.begin(), entry.end(), b.begin() + kProtocolCommandEntryOffset);
  if (direction == DataDirection::kOut)
    std::copy(data.begin(), data.end(), b.begin() + kProtocolCommandDataOffset);
  return b;
}

ProtocolCommandReply ReadProtocolCommand(std::span<const uint8_t> reply) {
  ProtocolCommandReply r;
  if (reply.size() < kProtocolCommandEntryOffset) return r;
  r.returnStatus = Get32(reply, kPcReturnStatus);
  r.errorCode = Get32(reply, kPcErrorCode);
  r.fixedReturnData = Get32(reply, kPcFixedReturnData);
  return r;
}

std::vector<uint8_t> BuildFirmwareDownload(uint64_t offset, std::span<const uint8_t> image) {
  // The buffer is as long as Size says: the structure's own size plus the image.
  std::vector<uint8_t> b(kFirmwareDownloadStructBytes + image.size(), 0);
  Put32(b, 0, kFirmwareDownloadStructBytes);
  Put32(b, 4, static_cast<uint32_t>(b.size()));
  Put32(b, 8, kFirmwareFlagController);
  b[12] = 1;  // slot
  Put64(b, 16, offset);
  Put64(b, 24, image.size());
  std::copy(image.begin(), image.end(), b.begin() + kFirmwareImageOffset);
  return b;
}

std::array<uint8_t, kFirmwareActivateBytes> BuildFirmwareActivate(uint8_t slot, uint8_t action) {
  std::array<uint8_t, kFirmwareActivateBytes> b{};
  Put32(b, 0, kFirmwareActivateBytes);
  Put32(b, 4, kFirmwareActivateBytes);
  // Only action 2 activates an image already in the slot; 1 and 3 put the downloaded one there.
  Put32(b, 8,
        action == 2 ? kFirmwareFlagController | kFirmwareFlagSwitchToExisting : kFirmwareFlagController);
  b[12] = slot;
  return b;
}

std::array<uint8_t, kFirmwareInfoQueryBytes> BuildFirmwareInfoQuery() {
  std::array<uint8_t, kFirmwareInfoQueryBytes> b{};
  Put32(b, offsetof(FirmwareInfoQueryLayout, version), kFirmwareInfoQueryBytes);
  Put32(b, offsetof(FirmwareInfoQueryLayout, size), kFirmwareInfoQueryBytes);
  Put32(b, offsetof(FirmwareInfoQueryLayout, flags), kFirmwareFlagController);
  return b;
}

std::optional<FirmwareInfoReply> ReadFirmwareInfo(std::span<const uint8_t> reply, uint32_t returned) {
  using H = FirmwareInfoHeadLayout;
  constexpr size_t kHead = sizeof(H);
  if (returned < kHead || reply.size() < kHead || Get32(reply, offsetof(H, size)) < kHead) return std::nullopt;
  FirmwareInfoReply r;
  r.supportUpgrade = (reply[offsetof(H, supportUpgrade)] & 1) != 0;
  r.slotCount = reply[offsetof(H, slotCount)];
  r.activeSlot = reply[offsetof(H, activeSlot)];
  r.pendingActivateSlot = reply[offsetof(H, pendingActivateSlot)];
  r.payloadAlignment = Get32(reply, offsetof(H, imagePayloadAlignment));
  r.payloadMaxSize = Get32(reply, offsetof(H, imagePayloadMaxSize));
  return r;
}

std::array<uint8_t, kTrimRequestBytes> BuildTrimRequest(uint64_t offset, uint64_t length) {
  std::array<uint8_t, kTrimRequestBytes> b{};
  Put32(b, 0, kDataSetAttributesBytes);
  Put32(b, 4, kDsmActionTrim);
  Put32(b, 8, kDsmFlagTrimNotFsAllocated);
  Put32(b, 12, 0);  // parameter block offset
  Put32(b, 16, 0);  // parameter block length
  Put32(b, 20, kDataSetRangeOffset);
  Put32(b, 24, kTrimRequestBytes - kDataSetRangeOffset);
  Put64(b, kDataSetRangeOffset, offset);
  Put64(b, kDataSetRangeOffset + 8, length);
  return b;
}

}  // namespace kestrune::platform::winio
