// The SCSI miniport routes: Intel RST (kind 12, "IntelNvm" and "IntelFw " requests) and the
// community NVMe miniport (kind 11 and every kind without a route of its own, "NvmeMini"). Both
// return the controller's completion entry; only a successful completion counts.
#include <vector>

#include "base/completion_codes.h"
#include "disk/nvme_entries.h"
#include "disk/nvme_transport.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_layout_bytes.h"
#include "platform/win_scsi_layouts.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;

namespace winio = platform::winio;

constexpr size_t kRstCompletionOffset = 96;
constexpr size_t kCommunityCompletionOffset = 116;

// The miniport answers into the request buffer itself.
ControlOutcome Exchange(platform::Device& device, std::vector<uint8_t>& request) {
  return SendControl(device, winio::kIoctlScsiMiniport, request, request);
}

// DW0 and the completion's verdict from the entry at offset; data back for any direction.
int32_t ReadCompletion(const std::vector<uint8_t>& reply, size_t completionAt, size_t dataAt, NvmeExchange& x) {
  x.dw0 = winio::Get32(reply, completionAt);
  x.status = CompletionStatusAt(reply.data() + completionAt);
  if (!CompletionSucceeded(x.command.opcode(), x.status))
    return code::kIoControlError;
  CopyBack(reply, dataAt, x.data);
  return kNvmeDone;
}

int32_t RstFirmware(platform::Device& device, std::vector<uint8_t> request, NvmeExchange& x) {
  switch (SendControl(device, winio::kIoctlScsiMiniport, request, {})) {
    case ControlOutcome::kUnavailable:
      return SendRawEntry(device, platform::NvmeRoute::kRstMiniport, x);
    case ControlOutcome::kFailed:
      return code::kIoControlError;
    case ControlOutcome::kDone:
      return kNvmeDone;
  }
  return code::kIoControlError;
}

}  // namespace

int32_t SendRst(platform::Device& device, uint8_t pathId, NvmeExchange& x) {
  if (x.operation == NvmeOperation::kFirmwareDownload)
    return RstFirmware(device, winio::BuildRstFirmwareDownload(pathId, x.imageOffset, x.data), x);
  if (x.operation == NvmeOperation::kFirmwareCommit)
    return RstFirmware(device, winio::BuildRstFirmwareActivate(pathId), x);

  std::vector<uint8_t> request = winio::BuildRstNvme(pathId, PlatformQueue(x.queue), x.command.span(), x.data);
  switch (Exchange(device, request)) {
    case ControlOutcome::kUnavailable:
      return SendRawEntry(device, platform::NvmeRoute::kRstMiniport, x);
    case ControlOutcome::kFailed:
      return code::kIoControlError;
    case ControlOutcome::kDone:
      break;
  }
  return ReadCompletion(request, kRstCompletionOffset, winio::kRstNvmeDataOffset, x);
}

int32_t SendCommunity(platform::Device& device, NvmeExchange& x) {
  std::vector<uint8_t> request =
      winio::BuildCommunityNvme(PlatformQueue(x.queue), x.command.span(), PlatformDirection(x.direction), x.data);
  switch (Exchange(device, request)) {
    case ControlOutcome::kUnavailable:
      return SendRawEntry(device, platform::NvmeRoute::kCommunityMiniport, x);
    case ControlOutcome::kFailed:
      return code::kIoControlError;
    case ControlOutcome::kDone:
      break;
  }
  return ReadCompletion(request, kCommunityCompletionOffset, winio::kCommunityNvmeDataOffset, x);
}

}  // namespace kestrune::disk
