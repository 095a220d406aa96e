// What every route shares: directions and queues of the device seam, timeouts, the raw entry
// through Device::Nvme, and device-control requests.
#include <algorithm>

#include "base/completion_codes.h"
#include "disk/nvme_entries.h"
#include "disk/nvme_transport.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;

}  // namespace

platform::DataDirection PlatformDirection(NvmeDirection d) {
  switch (d) {
    case NvmeDirection::kIn:
      return platform::DataDirection::kIn;
    case NvmeDirection::kOut:
      return platform::DataDirection::kOut;
    default:
      return platform::DataDirection::kNone;
  }
}

platform::NvmeQueue PlatformQueue(NvmeQueue q) {
  return q == NvmeQueue::kIo ? platform::NvmeQueue::kIo : platform::NvmeQueue::kAdmin;
}

uint32_t TimeoutOf(const NvmeExchange& x) {
  return x.operation == NvmeOperation::kFormatAll ? kNvmeFormatTimeoutSeconds : kNvmeTimeoutSeconds;
}

int32_t SendRawEntry(platform::Device& device, platform::NvmeRoute route, NvmeExchange& x) {
  platform::NvmeCompletion completion;
  const platform::PassStatus s = device.Nvme(route, PlatformQueue(x.queue), x.command.span(),
                                             PlatformDirection(x.direction), x.data, TimeoutOf(x), completion);
  if (s != platform::PassStatus::kOk) return code::kIoControlError;
  x.dw0 = completion.dw0;
  x.status = completion.status & 0x7FFF;
  return CompletionSucceeded(x.command.opcode(), completion.status) ? kNvmeDone : code::kIoControlError;
}

ControlOutcome SendControl(platform::Device& device, uint32_t code, std::span<const uint8_t> input,
                           std::span<uint8_t> output, uint32_t* systemError) {
  uint32_t returned = 0, error = 0;
  const platform::PassStatus s = device.Control(code, input, output, returned, error);
  if (systemError != nullptr) *systemError = error;
  switch (s) {
    case platform::PassStatus::kOk:
      return ControlOutcome::kDone;
    case platform::PassStatus::kNotSupported:
      return ControlOutcome::kUnavailable;
    default:
      return ControlOutcome::kFailed;
  }
}

void CopyBack(std::span<const uint8_t> reply, size_t at, std::span<uint8_t> data) {
  if (reply.size() <= at) return;
  const size_t n = std::min(data.size(), reply.size() - at);
  std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(at), n, data.begin());
}

void WaitAfterActivation(const NvmeExchange& x) {
  if (x.clock) x.clock->SleepMs(kActivationSettleMs);
}

}  // namespace kestrune::disk
