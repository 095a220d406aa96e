// The Windows device-control requests of the NVMe routes, as a simulated drive answers them
// (SimDevice::Control): the storage-protocol requests of the inbox driver on disk and volume
// handles of drives on that driver, and the SCSI-miniport requests of Intel RST ("IntelNvm",
// "IntelFw ") and of the community miniport ("NvmeMini") on the SCSI port handle of drives behind
// them. Each request is decoded from its bytes, its NVMe command runs on the drive's controller
// and the answer is written into the output the way the driver writes it.
#pragma once

#include <cstdint>
#include <span>

#include "platform/device.h"
#include "sim/request_log.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {

// System error values the simulated drivers give.
namespace win_error {
inline constexpr uint32_t kInvalidFunction = 1;
inline constexpr uint32_t kNotSupported = 50;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kInsufficientBuffer = 122;
inline constexpr uint32_t kIoDevice = 1117;
inline constexpr uint32_t kDeviceNotConnected = 1167;
// The firmware activation is done and takes effect at the next reset.
inline constexpr uint32_t kActivateAfterReset = 0x30207;
}  // namespace win_error

struct ControlCall {
  SimDrive& drive;
  bool portHandle;          // the handle is the SCSI port (else a disk or volume)
  uint32_t code;
  std::span<const uint8_t> input;
  std::span<uint8_t> output;  // may be the same memory as input
  uint32_t& returned;
  uint32_t& systemError;
  RequestRecord& record;    // receives the NVMe entry that ran and a result text
};

// Answers one request (the drive's lock held). kOk, or kFailed with the system error set.
platform::PassStatus AnswerControl(ControlCall& call);

}  // namespace kestrune::sim
