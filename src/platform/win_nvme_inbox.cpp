#include "platform/win_nvme_inbox.h"

#include <algorithm>

#include "platform/win_ioctl_codes.h"
#include "platform/win_layout_bytes.h"
#include "platform/win_storage_layouts.h"

namespace kestrune::platform::winio {
namespace {

constexpr uint8_t kOpGetLogPage = 0x02, kOpIdentify = 0x06, kOpSetFeatures = 0x09, kOpGetFeatures = 0x0A,
                  kOpFirmwareCommit = 0x10, kOpFirmwareDownload = 0x11, kOpFormat = 0x80,
                  kOpSecuritySend = 0x81, kOpSecurityReceive = 0x82;
constexpr uint32_t kFormatAllUserDataErase = 0x200;

constexpr size_t kNsidAt = 4, kCdw10At = 40, kCdw11At = 44;

uint32_t Cdw10(std::span<const uint8_t, 64> e) { return Get32(e, kCdw10At); }
uint32_t Cdw11(std::span<const uint8_t, 64> e) { return Get32(e, kCdw11At); }

bool IsSecurity(uint8_t opcode) { return opcode == kOpSecuritySend || opcode == kOpSecurityReceive; }

// The property query of Identify, Get Log Page or Get Features.
ProtocolQuery QueryOf(InboxCarriage carriage, std::span<const uint8_t, 64> e, size_t length) {
  const uint32_t cdw10 = Cdw10(e);
  ProtocolQuery q;
  switch (carriage) {
    case InboxCarriage::kIdentifyQuery: {
      const uint32_t cns = cdw10 & 0xFF;
      q.propertyId =
          cns <= 1 ? kStorageAdapterProtocolSpecificProperty : kStorageDeviceProtocolSpecificProperty;
      q.dataType = kNvmeDataTypeIdentify;
      q.requestValue = cns;
      q.requestSubValue = Get32(e, kNsidAt);
      q.dataLength = kProtocolDataAreaBytes;
      break;
    }
    case InboxCarriage::kLogPageQuery: {
      const uint32_t lsp = (cdw10 >> 8) & 0xF;
      const uint32_t rae = (cdw10 >> 15) & 1;
      q.propertyId = kStorageDeviceProtocolSpecificProperty;
      q.dataType = kNvmeDataTypeLogPage;
      q.requestValue = cdw10 & 0xFF;  // log identifier; offset (sub values 1 to 3) 0
      q.requestSubValue4 = (rae | lsp << 1) & 0x1F;
      q.dataLength = kProtocolDataAreaBytes;
      break;
    }
    default:  // Get Features: a data area only when the feature returns data
      q.propertyId = kStorageAdapterProtocolSpecificProperty;
      q.dataType = kNvmeDataTypeFeature;
      q.requestValue = cdw10 & 0xFF;
      q.dataLength = static_cast<uint32_t>(length);
      break;
  }
  return q;
}

}  // namespace

InboxCarriage InboxCarriageOf(NvmeQueue queue, std::span<const uint8_t, 64> entry) {
  if (queue != NvmeQueue::kAdmin) return InboxCarriage::kProtocolCommand;
  switch (entry[0]) {
    case kOpIdentify:
      return InboxCarriage::kIdentifyQuery;
    case kOpGetLogPage:
      return InboxCarriage::kLogPageQuery;
    case kOpGetFeatures:
      return InboxCarriage::kFeatureQuery;
    case kOpSetFeatures:
      return InboxCarriage::kFeatureSet;
    case kOpFirmwareDownload:
      return InboxCarriage::kFirmwareDownload;
    case kOpFirmwareCommit:
      return InboxCarriage::kFirmwareActivate;
    case kOpFormat:
      // Only the format of everything with a user-data erase is what the media request does; any
      // other format goes as the command itself rather than as something it did not ask for.
      return Cdw10(entry) == kFormatAllUserDataErase ? InboxCarriage::kReinitializeMedia
                                                     : InboxCarriage::kProtocolCommand;
    default:
      return InboxCarriage::kProtocolCommand;
  }
}

std::optional<InboxRequest> BuildInboxRequest(NvmeQueue queue, std::span<const uint8_t, 64> entry,
                                              DataDirection direction, std::span<const uint8_t> data,
                                              uint32_t timeoutSeconds) {
  InboxRequest r;
  r.carriage = InboxCarriageOf(queue, entry);
  switch (r.carriage) {
    case InboxCarriage::kIdentifyQuery:
    case InboxCarriage::kLogPageQuery:
    case InboxCarriage::kFeatureQuery:
      if (data.size() > kProtocolDataAreaBytes) return std::nullopt;
      r.ioctl = kIoctlStorageQueryProperty;
      r.buffer = BuildProtocolQuery(QueryOf(r.carriage, entry, data.size()));
      r.outputBytes = r.buffer.size();
      r.dataOffset = kProtocolQueryHeaderBytes;
      break;
    case InboxCarriage::kFeatureSet:
      if (data.size() > kProtocolDataAreaBytes) return std::nullopt;
      r.ioctl = kIoctlStorageSetProperty;
      r.buffer = BuildFeatureSet(Cdw10(entry), Cdw11(entry),
                                 direction == DataDirection::kOut ? data : std::span<const uint8_t>());
      r.outputBytes = r.buffer.size();
      break;
    case InboxCarriage::kFirmwareDownload:
      r.ioctl = kIoctlStorageFirmwareDownload;
      r.buffer = BuildFirmwareDownload(static_cast<uint64_t>(Cdw11(entry)) * 4, data);
      break;
    case InboxCarriage::kFirmwareActivate: {
      const uint32_t cdw10 = Cdw10(entry);
      auto activate =
          BuildFirmwareActivate(static_cast<uint8_t>(cdw10 & 0x7), static_cast<uint8_t>((cdw10 >> 3) & 0x7));
      r.ioctl = kIoctlStorageFirmwareActivate;
      r.buffer.assign(activate.begin(), activate.end());
      break;
    }
    case InboxCarriage::kReinitializeMedia:
      r.ioctl = kIoctlStorageReinitializeMedia;
      break;
    case InboxCarriage::kProtocolCommand:
      r.ioctl = kIoctlStorageProtocolCommand;
      r.buffer = BuildProtocolCommand(queue, entry, direction, data, timeoutSeconds);
      r.outputBytes = r.buffer.size();
      r.dataOffset = kProtocolCommandDataOffset;
      r.scsiFallback = queue == NvmeQueue::kAdmin && IsSecurity(entry[0]);
      break;
  }
  return r;
}

void ReadInboxReply(const InboxRequest& request, DataDirection direction, std::span<uint8_t> data,
                    NvmeCompletion& completion) {
  completion = NvmeCompletion{};
  const std::span<const uint8_t> answer(request.buffer);
  switch (request.carriage) {
    case InboxCarriage::kIdentifyQuery:
    case InboxCarriage::kLogPageQuery:
    case InboxCarriage::kFeatureQuery:
    case InboxCarriage::kFeatureSet:
      if (answer.size() >= kReturnDataAt + 4) completion.dw0 = Get32(answer, kReturnDataAt);
      break;
    case InboxCarriage::kProtocolCommand:
      completion.dw0 = ReadProtocolCommand(answer).fixedReturnData;
      break;
    default:
      break;
  }
  if (direction != DataDirection::kIn || request.dataOffset == 0 || answer.size() <= request.dataOffset)
    return;
  const size_t n = std::min(data.size(), answer.size() - request.dataOffset);
  std::copy_n(answer.begin() + static_cast<std::ptrdiff_t>(request.dataOffset), n, data.begin());
}

std::array<uint8_t, 12> SecurityProtocolCdb(std::span<const uint8_t, 64> entry, uint32_t length) {
  const uint32_t cdw10 = Cdw10(entry);
  std::array<uint8_t, 12> cdb{};
  cdb[0] = entry[0] == kOpSecurityReceive ? 0xA2 : 0xB5;
  cdb[1] = static_cast<uint8_t>(cdw10 >> 24);
  cdb[2] = static_cast<uint8_t>(cdw10 >> 16);
  cdb[3] = static_cast<uint8_t>(cdw10 >> 8);
  cdb[6] = static_cast<uint8_t>(length >> 24);
  cdb[7] = static_cast<uint8_t>(length >> 16);
  cdb[8] = static_cast<uint8_t>(length >> 8);
  cdb[9] = static_cast<uint8_t>(length);
  return cdb;
}

}  // namespace kestrune::platform::winio
