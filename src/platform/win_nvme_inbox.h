// How an NVMe submission entry reaches the drive through the system's own NVMe driver (stornvme).
// That driver passes only some commands through IOCTL_STORAGE_PROTOCOL_COMMAND; the others have
// their own storage requests. The entry's opcode picks the carriage:
//
//   admin 06h Identify        property query, PropertyId 49 (CNS 0, 1) or 50, data type Identify
//   admin 02h Get Log Page    property query, PropertyId 50, data type log page
//   admin 0Ah Get Features    property query, PropertyId 49, data type feature
//   admin 09h Set Features    property set, PropertyId 49, data type feature
//   admin 11h FW Download     IOCTL_STORAGE_FIRMWARE_DOWNLOAD (byte offset = CDW11 * 4)
//   admin 10h FW Commit       IOCTL_STORAGE_FIRMWARE_ACTIVATE (slot, action from CDW10)
//   admin 80h Format, CDW10 = 200h (user-data erase of every namespace)  IOCTL_STORAGE_REINITIALIZE_MEDIA
//   admin 81h/82h Security    protocol command; when refused, SCSI SECURITY PROTOCOL OUT/IN
//   everything else           protocol command (admin or NVM command set)
//
// The property queries carry a data area of 4096 bytes, so those commands cannot move more.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/device.h"

namespace kestrune::platform::winio {

enum class InboxCarriage : uint8_t {
  kIdentifyQuery,
  kLogPageQuery,
  kFeatureQuery,
  kFeatureSet,
  kFirmwareDownload,
  kFirmwareActivate,
  kReinitializeMedia,
  kProtocolCommand,
};

InboxCarriage InboxCarriageOf(NvmeQueue queue, std::span<const uint8_t, 64> entry);

struct InboxRequest {
  InboxCarriage carriage = InboxCarriage::kProtocolCommand;
  uint32_t ioctl = 0;
  std::vector<uint8_t> buffer;  // the input; the answer comes back into the same buffer
  size_t outputBytes = 0;       // bytes of buffer the answer may fill; 0 for no answer
  size_t dataOffset = 0;        // where data in comes back; 0 when it does not
  bool scsiFallback = false;    // a security command: retry as SCSI SECURITY PROTOCOL IN/OUT
};

// The request for entry with data (the data to send for data out; its size is the transfer length
// in every direction). nullopt when the carriage cannot move that much data.
std::optional<InboxRequest> BuildInboxRequest(NvmeQueue queue, std::span<const uint8_t, 64> entry,
                                              DataDirection direction, std::span<const uint8_t> data,
                                              uint32_t timeoutSeconds);

// After the request succeeded: DW0 (FixedProtocolReturnData where the answer has one) and, for
// data in, the data. The driver reports no status of its own, so status stays 0.
void ReadInboxReply(const InboxRequest& request, DataDirection direction, std::span<uint8_t> data,
                    NvmeCompletion& completion);

// The SCSI form of a security command: SECURITY PROTOCOL IN (A2h) for Security Receive, OUT (B5h)
// for Security Send; SECP from CDW10 bits 24-31, SPSP from bits 8-23 (high byte first), the
// transfer length big-endian in bytes 6-9. Sent to target id 1.
std::array<uint8_t, 12> SecurityProtocolCdb(std::span<const uint8_t, 64> entry, uint32_t length);
inline constexpr uint8_t kSecurityFallbackTargetId = 1;

}  // namespace kestrune::platform::winio
