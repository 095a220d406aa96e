// The NVMe carriages of the USB-to-NVMe bridges: SCSI CDB sequences through Device::Scsi. A phase
// succeeds only when the request went through and the bridge answered GOOD; the completion entries
// the JMicron and ASMedia bridges return are checked as well, so that a command the controller
// refused is not taken for a success.
#include <algorithm>
#include <vector>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "disk/nvme_bridge_cdbs.h"
#include "disk/nvme_entries.h"
#include "disk/nvme_transport.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;
using platform::DataDirection;
using platform::PassStatus;

// One phase. A failed request passes only when tolerated (the data phase of opcode F7h, which
// some bridges end with an error of their own); a completed one only with GOOD status.
bool Phase(platform::Device& device, const BridgeCdb& cdb, DataDirection direction, std::span<uint8_t> data,
           bool tolerateFailedRequest = false) {
  platform::ScsiResult result;
  const PassStatus s = device.Scsi(cdb, direction, data, kNvmeTimeoutSeconds, result);
  if (s != PassStatus::kOk) return tolerateFailedRequest;
  return result.status == 0;
}

constexpr uint8_t kTolerantOpcode = 0xF7;

bool TolerateDataFailure(const NvmeExchange& x) { return x.command.opcode() == kTolerantOpcode; }

// The caller's buffer as the data phase carries it: zero-filled first unless it is data out.
std::span<uint8_t> DataPhaseBuffer(NvmeExchange& x) {
  if (x.direction != NvmeDirection::kOut) std::fill(x.data.begin(), x.data.end(), uint8_t{0});
  return x.direction == NvmeDirection::kNone ? std::span<uint8_t>() : x.data;
}

std::span<uint8_t> Entry(std::array<uint8_t, 64>& copy, const NvmeCommand& command) {
  copy = command.bytes;
  return copy;
}

int32_t Finish(bool ok) { return ok ? kNvmeDone : code::kIoControlError; }

}  // namespace

int32_t SendAsmediaThreePhase(platform::Device& device, NvmeExchange& x) {
  std::array<uint8_t, 64> entry;
  if (!Phase(device, AsmediaCommandCdb(x.queue, x.direction), DataDirection::kOut, Entry(entry, x.command)))
    return code::kIoControlError;
  const auto length = static_cast<uint32_t>(x.data.size());
  if (!Phase(device, AsmediaDataCdb(x.queue, x.direction, length), PlatformDirection(x.direction),
             DataPhaseBuffer(x), TolerateDataFailure(x)))
    return code::kIoControlError;
  // The completion entry goes into a buffer of its own: the caller's record stays as it was.
  std::array<uint8_t, kBridgeCompletionBytes> completion{};
  if (!Phase(device, AsmediaCompletionCdb(x.queue, x.direction), DataDirection::kIn, completion))
    return code::kIoControlError;
  x.dw0 = base::GetLe32(completion.data());
  x.status = CompletionStatusAt(completion.data());
  return Finish(CompletionSucceeded(x.command.opcode(), x.status));
}

int32_t SendAsmediaSingle(platform::Device& device, NvmeExchange& x) {
  const auto length = static_cast<uint32_t>(x.data.size());
  if (!Phase(device, AsmediaSingleCdb(x.command, length), PlatformDirection(x.direction), DataPhaseBuffer(x)))
    return code::kIoControlError;
  x.dw0 = x.direction == NvmeDirection::kIn && x.data.size() >= 4 ? base::GetLe32(x.data.data()) : 0;
  return kNvmeDone;
}

int32_t SendJmicron(platform::Device& device, NvmeExchange& x) {
  if (x.data.size() > kMaxJmicronBytes) return code::kBadParameter;
  std::array<uint8_t, kBridgeWorkBytes> work = JmicronCommandBlock(x.command);
  if (!Phase(device, JmicronCommandCdb(x.queue), DataDirection::kOut, work)) return code::kIoControlError;
  const auto length = static_cast<uint32_t>(x.data.size());
  if (!Phase(device, JmicronDataCdb(x.queue, x.direction, length), PlatformDirection(x.direction),
             DataPhaseBuffer(x), TolerateDataFailure(x)))
    return code::kIoControlError;
  work.fill(0);
  if (!Phase(device, JmicronCompletionCdb(x.queue), DataDirection::kIn, work)) return code::kIoControlError;
  x.dw0 = base::GetLe32(work.data() + kJmicronEntryOffset);
  x.status = CompletionStatusAt(work.data() + kJmicronEntryOffset);
  return Finish(CompletionSucceeded(x.command.opcode(), x.status));
}

int32_t SendRtl9210B(platform::Device& device, NvmeExchange& x) {
  if (x.data.size() > kMaxRtl9210Bytes) return code::kBadParameter;
  std::array<uint8_t, 64> entry;
  if (!Phase(device, Rtl9210BCommandCdb(x.queue), DataDirection::kOut, Entry(entry, x.command)))
    return code::kIoControlError;
  const auto length = static_cast<uint32_t>(x.data.size());
  if (!Phase(device, Rtl9210BDataCdb(x.direction, length), PlatformDirection(x.direction), DataPhaseBuffer(x),
             TolerateDataFailure(x)))
    return code::kIoControlError;
  // This bridge's completion block has no status field that is known; the bridge reports a refused
  // command as CHECK CONDITION.
  std::array<uint8_t, kBridgeWorkBytes> work{};
  if (!Phase(device, Rtl9210BCompletionCdb(), DataDirection::kIn,
             std::span<uint8_t>(work).first(kBridgeCompletionBytes)))
    return code::kIoControlError;
  x.dw0 = base::GetLe32(work.data() + kRtl9210BDw0Offset);
  return kNvmeDone;
}

int32_t SendRtl9210(platform::Device& device, NvmeExchange& x) {
  if (x.data.size() > kMaxRtl9210Bytes) return code::kBadParameter;
  const auto length = static_cast<uint32_t>(x.data.size());
  const BridgeCdb cdb = x.operation == NvmeOperation::kFirmwareDownload
                            ? Rtl9210DownloadCdb(x.imageOffset, length)
                            : Rtl9210Cdb(x.command, length);
  x.dw0 = 0;  // this form returns no completion dword
  return Finish(Phase(device, cdb, PlatformDirection(x.direction), DataPhaseBuffer(x)));
}

}  // namespace kestrune::disk
