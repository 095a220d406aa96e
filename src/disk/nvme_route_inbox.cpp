// The inbox NVMe driver (kind 10): each operation has its own storage request. Where the backend
// has no device-control requests, the raw entry goes to the system's NVMe driver instead.
#include <cstdint>
#include <span>
#include <vector>

#include "base/completion_codes.h"
#include "disk/nvme_entries.h"
#include "disk/nvme_transport.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_layout_bytes.h"
#include "platform/win_nvme_inbox.h"
#include "platform/win_scsi_layouts.h"
#include "platform/win_storage_layouts.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;

namespace winio = platform::winio;

// STORAGE_PROTOCOL_STATUS_SUCCESS in STORAGE_PROTOCOL_COMMAND.ReturnStatus.
constexpr uint32_t kProtocolStatusSuccess = 1;

int32_t Raw(platform::Device& device, NvmeExchange& x) {
  return SendRawEntry(device, platform::NvmeRoute::kInbox, x);
}

// Sends the device-control request for x. True when it went through, the reply left to the caller;
// otherwise result holds the outcome of x: the raw entry's where the backend has no device-control
// requests, code::kIoControlError where the request failed.
bool SentAsControl(platform::Device& device, uint32_t code, std::span<const uint8_t> input,
                   std::span<uint8_t> output, NvmeExchange& x, int32_t& result) {
  switch (SendControl(device, code, input, output)) {
    case ControlOutcome::kDone:
      return true;
    case ControlOutcome::kUnavailable:
      result = Raw(device, x);
      return false;
    case ControlOutcome::kFailed:
      break;
  }
  result = code::kIoControlError;
  return false;
}

// The property query of Identify, Get Log Page or Get Features.
winio::ProtocolQuery QueryOf(const NvmeExchange& x) {
  const uint32_t cdw10 = x.command.Cdw(10);
  winio::ProtocolQuery q;
  switch (x.operation) {
    case NvmeOperation::kIdentify: {
      const uint32_t cns = cdw10 & 0xFF;
      q.propertyId = cns <= 1 ? winio::kStorageAdapterProtocolSpecificProperty
                              : winio::kStorageDeviceProtocolSpecificProperty;
      q.dataType = winio::kNvmeDataTypeIdentify;
      q.requestValue = cns;
      q.requestSubValue = x.command.nsid();
      q.dataLength = kInboxDataAreaBytes;
      break;
    }
    case NvmeOperation::kGetLogPage: {
      const uint32_t lsp = (cdw10 >> 8) & 0xF;
      const uint32_t rae = (cdw10 >> 15) & 1;
      q.propertyId = winio::kStorageDeviceProtocolSpecificProperty;
      q.dataType = winio::kNvmeDataTypeLogPage;
      q.requestValue = cdw10 & 0xFF;
      q.requestSubValue4 = (rae | lsp << 1) & 0x1F;
      q.dataLength = kInboxDataAreaBytes;
      break;
    }
    default:  // Get Features: no data area
      q.propertyId = winio::kStorageAdapterProtocolSpecificProperty;
      q.dataType = winio::kNvmeDataTypeFeature;
      q.requestValue = cdw10 & 0xFF;  // the feature identifier
      q.dataLength = 0;
      break;
  }
  return q;
}

// Whether the query can carry the command: the data area is 4096 bytes, the log-specific field 4
// bits, and a feature query names the feature only (no select field).
bool QueryCarries(const NvmeExchange& x) {
  if (x.data.size() > kInboxDataAreaBytes) return false;
  const uint32_t cdw10 = x.command.Cdw(10);
  if (x.operation == NvmeOperation::kGetLogPage) return ((cdw10 >> 8) & 0x7F) <= 0xF;
  if (x.operation == NvmeOperation::kGetFeatures) return cdw10 <= 0xFF;
  return true;
}

int32_t PropertyQuery(platform::Device& device, NvmeExchange& x) {
  if (!QueryCarries(x)) return code::kBadParameter;
  std::vector<uint8_t> buffer = winio::BuildProtocolQuery(QueryOf(x));
  int32_t rc = kNvmeDone;
  if (!SentAsControl(device, winio::kIoctlStorageQueryProperty, buffer, buffer, x, rc)) return rc;
  x.dw0 = winio::Get32(buffer, winio::kReturnDataAt);
  CopyBack(buffer, winio::kProtocolQueryHeaderBytes, x.data);
  return kNvmeDone;
}

int32_t PropertySet(platform::Device& device, NvmeExchange& x) {
  std::vector<uint8_t> buffer = winio::BuildFeatureSet(x.command.Cdw(10), x.command.Cdw(11));
  int32_t rc = kNvmeDone;
  if (!SentAsControl(device, winio::kIoctlStorageSetProperty, buffer, buffer, x, rc)) return rc;
  x.dw0 = winio::Get32(buffer, winio::kReturnDataAt);
  return kNvmeDone;
}

// The protocol command; only a request the driver reports as successful counts.
int32_t ProtocolCommand(platform::Device& device, NvmeExchange& x) {
  std::vector<uint8_t> buffer = winio::BuildProtocolCommand(PlatformQueue(x.queue), x.command.span(),
                                                            PlatformDirection(x.direction), x.data,
                                                            kNvmeTimeoutSeconds);
  int32_t rc = kNvmeDone;
  if (!SentAsControl(device, winio::kIoctlStorageProtocolCommand, buffer, buffer, x, rc)) return rc;
  const winio::ProtocolCommandReply reply = winio::ReadProtocolCommand(buffer);
  x.dw0 = reply.fixedReturnData;
  if (reply.returnStatus != kProtocolStatusSuccess) return code::kIoControlError;
  if (x.direction == NvmeDirection::kIn) CopyBack(buffer, winio::kProtocolCommandDataOffset, x.data);
  return kNvmeDone;
}

int32_t FirmwareDownload(platform::Device& device, NvmeExchange& x) {
  std::vector<uint8_t> buffer = winio::BuildFirmwareDownload(x.imageOffset, x.data);
  int32_t rc = kNvmeDone;
  return SentAsControl(device, winio::kIoctlStorageFirmwareDownload, buffer, {}, x, rc) ? kNvmeDone : rc;
}

int32_t FirmwareActivate(platform::Device& device, NvmeExchange& x) {
  const uint32_t cdw10 = x.command.Cdw(10);
  const auto request =
      winio::BuildFirmwareActivate(static_cast<uint8_t>(cdw10 & 7), static_cast<uint8_t>((cdw10 >> 3) & 7));
  uint32_t error = 0;
  switch (SendControl(device, winio::kIoctlStorageFirmwareActivate, request, {}, &error)) {
    case ControlOutcome::kUnavailable:
      return Raw(device, x);
    case ControlOutcome::kFailed:
      // Done, but the new firmware runs only after a reset: that is what was asked for.
      if (error != winio::kActivateDoneAfterResetError) return code::kWriteFailed;
      x.status = kCommitNeedsConventionalReset;
      break;
    case ControlOutcome::kDone:
      break;
  }
  WaitAfterActivation(x);
  return kNvmeDone;
}

int32_t ReinitializeMedia(platform::Device& device, NvmeExchange& x) {
  int32_t rc = kNvmeDone;
  return SentAsControl(device, winio::kIoctlStorageReinitializeMedia, {}, {}, x, rc) ? kNvmeDone : rc;
}

// SECURITY PROTOCOL IN / OUT to target id 1: -255 for a non-GOOD status, -74 for a failed request.
int32_t ScsiSecurity(platform::Device& device, NvmeExchange& x) {
  const auto length = static_cast<uint32_t>(x.data.size());
  const std::array<uint8_t, 12> cdb = winio::SecurityProtocolCdb(x.command.span(), length);
  const platform::DataDirection direction = PlatformDirection(x.direction);
  winio::SptdFields fields;
  fields.cdb = cdb;
  fields.dataIn = winio::ScsiDataInOf(direction);
  fields.transferLength = length;
  fields.timeoutSeconds = kNvmeTimeoutSeconds;
  fields.dataAddress = reinterpret_cast<uintptr_t>(x.data.data());
  fields.targetId = winio::kSecurityFallbackTargetId;
  std::optional<winio::SptdRequest> request = winio::BuildSptd(fields);
  if (!request) return code::kIoControlError;
  switch (SendControl(device, winio::kIoctlScsiPassThroughDirect, *request, *request)) {
    case ControlOutcome::kFailed:
      return code::kIoControlError;
    case ControlOutcome::kDone:
      x.scsiStatus = winio::ReadSptd(*request).scsiStatus;
      break;
    case ControlOutcome::kUnavailable: {
      platform::ScsiResult result;
      if (device.Scsi(cdb, direction, x.data, kNvmeTimeoutSeconds, result) != platform::PassStatus::kOk)
        return code::kIoControlError;
      x.scsiStatus = result.status;
      break;
    }
  }
  return x.scsiStatus == 0 ? kNvmeDone : code::kError;
}

int32_t Security(platform::Device& device, NvmeExchange& x) {
  const int32_t rc = ProtocolCommand(device, x);
  return rc == kNvmeDone ? rc : ScsiSecurity(device, x);
}

}  // namespace

int32_t SendInbox(platform::Device& device, NvmeExchange& x) {
  switch (x.operation) {
    case NvmeOperation::kIdentify:
    case NvmeOperation::kGetLogPage:
    case NvmeOperation::kGetFeatures:
      return PropertyQuery(device, x);
    case NvmeOperation::kSetFeatures:
      return PropertySet(device, x);
    case NvmeOperation::kFirmwareDownload:
      return FirmwareDownload(device, x);
    case NvmeOperation::kFirmwareCommit:
      return FirmwareActivate(device, x);
    case NvmeOperation::kFormatAll:
      return ReinitializeMedia(device, x);
    case NvmeOperation::kSecurityReceive:
    case NvmeOperation::kSecuritySend:
      return Security(device, x);
    default:
      return ProtocolCommand(device, x);
  }
}

}  // namespace kestrune::disk
