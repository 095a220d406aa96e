// One NVMe operation on its way to a driver path: what the operations of nvme_operations.h hand to
// the route of the disk's kind. Each route builds its own requests from it and leaves DW0 (and,
// for the inbox security fallback, the SCSI status) in it.
#pragma once

#include <cstdint>
#include <span>

#include "disk/nvme_operations.h"
#include "platform/device.h"
#include "platform/host.h"

namespace kestrune::disk {

enum class NvmeOperation : uint8_t {
  kRawAdmin,
  kIdentify,
  kGetLogPage,
  kGetFeatures,
  kSetFeatures,
  kFirmwareCommit,
  kFirmwareDownload,
  kFormatAll,
  kSecurityReceive,
  kSecuritySend,
  kDeallocate,
};

struct NvmeExchange {
  NvmeOperation operation = NvmeOperation::kRawAdmin;
  NvmeCommand command;
  NvmeQueue queue = NvmeQueue::kAdmin;
  NvmeDirection direction = NvmeDirection::kNone;
  std::span<uint8_t> data;     // the transfer; for data in it receives the answer
  uint32_t imageOffset = 0;    // firmware download: byte offset of the chunk in the image
  uint32_t dw0 = 0;            // out: the completion dword where the route returns one
  uint16_t status = 0;         // out: the completion's status field (DNR, More, CRD, SCT, SC; phase bit removed) where the route returns one
  uint8_t scsiStatus = 0;      // out: the SCSI status of the inbox security fallback
  platform::Host* clock = nullptr;  // whose sleep a route's settle wait uses; null: no wait
};

// Timeouts of the routes that carry a timeout of their own.
inline constexpr uint32_t kNvmeTimeoutSeconds = 60;
inline constexpr uint32_t kNvmeFormatTimeoutSeconds = 600;
uint32_t TimeoutOf(const NvmeExchange& x);

platform::DataDirection PlatformDirection(NvmeDirection d);
platform::NvmeQueue PlatformQueue(NvmeQueue q);

// The raw submission entry through Device::Nvme on route: the path for systems whose drivers
// take the entry itself (the backend's answer to a device-control request was kNotSupported).
// 1 when the controller completed it successfully, else -74.
int32_t SendRawEntry(platform::Device& device, platform::NvmeRoute route, NvmeExchange& x);

// The Windows routes (device-control requests built here, Device::Nvme where the backend has none).
int32_t SendInbox(platform::Device& device, NvmeExchange& x);
int32_t SendRst(platform::Device& device, uint8_t pathId, NvmeExchange& x);
int32_t SendCommunity(platform::Device& device, NvmeExchange& x);

// The USB bridge forms (SCSI CDBs through Device::Scsi).
int32_t SendJmicron(platform::Device& device, NvmeExchange& x);
int32_t SendAsmediaThreePhase(platform::Device& device, NvmeExchange& x);
int32_t SendAsmediaSingle(platform::Device& device, NvmeExchange& x);
int32_t SendRtl9210B(platform::Device& device, NvmeExchange& x);
int32_t SendRtl9210(platform::Device& device, NvmeExchange& x);

// The process-wide order of the two ASMedia forms for Identify and Get Log Page: true puts the
// single-CDB form first. Tests reset it.
bool AsmediaSingleFirst(NvmeOperation op);
void SetAsmediaSingleFirst(NvmeOperation op, bool single);

}  // namespace kestrune::disk

namespace kestrune::disk {

// A device-control request on an open handle: kDone, kFailed (systemError says why), or
// kUnavailable when the backend has no such requests (then the raw entry goes through Device::Nvme).
enum class ControlOutcome : uint8_t { kDone, kFailed, kUnavailable };
ControlOutcome SendControl(platform::Device& device, uint32_t code, std::span<const uint8_t> input,
                           std::span<uint8_t> output, uint32_t* systemError = nullptr);

// Copies min(data, reply - at) bytes from reply[at] into data.
void CopyBack(std::span<const uint8_t> reply, size_t at, std::span<uint8_t> data);

// What the inbox firmware activation waits after success (1000 ms), on the exchange's clock.
inline constexpr uint32_t kActivationSettleMs = 1000;
void WaitAfterActivation(const NvmeExchange& x);

}  // namespace kestrune::disk
