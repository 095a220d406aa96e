// Which chip a USB disk sits behind: the SCSI INQUIRY signature of the bridge, then, for a bridge
// that does not say, Identify Controller through each bridge's own NVMe carriage.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "disk/disk_kind.h"
#include "platform/device.h"

namespace kestrune::disk {

inline constexpr uint32_t kInquiryLength = 38;  // the standard data plus the bridge signature bytes
inline constexpr uint32_t kInquiryTimeoutSeconds = 60;

// INQUIRY (12h), standard data, allocation length kInquiryLength.
std::array<uint8_t, 6> InquiryCdb();

struct InquiryVerdict {
  DiskKind kind = DiskKind::kFlashDrive;
  bool askBridges = false;  // still undecided and not removable: try Identify through the bridges
};

// The bridge kind that INQUIRY data shows (kInquiryLength bytes; a shorter span counts as zeros):
// bytes 36-37 60h 23h ASMedia (2364 in the product: ASM2364), 35h 35h or 30h 35h JMicron, product
// "9210B"/"9210" Realtek, 05h 21h or "SATA" in the identification text a SATA bridge. Later rules
// override earlier ones; the "SATA" text is final.
InquiryVerdict KindFromInquiry(std::span<const uint8_t> inquiry);

// The NVMe carriages of the USB bridges, in the order the probe tries them.
enum class BridgeForm { kAsmediaThreePhase, kJmicron, kRtl9210B, kRtl9210 };

// Sends Identify Controller (CNS 1, kIdentifyControllerBytes into data) through the bridge form on
// an open disk. True when the bridge answered.
//
// Not yet carried: the bridge CDB sets arrive with the NVMe transports, which fill this function
// in. Until then it answers false ("no answer"), so bridges without an INQUIRY signature stay
// kind 21 and NVMe disks behind bridges keep their system names.
bool IdentifyThroughBridge(platform::Device& device, BridgeForm form, std::span<uint8_t> data);

// The carriage a bridge kind (13-17) uses for Identify; kJmicron for any other kind.
BridgeForm BridgeFormOf(DiskKind kind);

// The Realtek plausibility test of answered Identify data: non-zero words at bytes 0 and 2 and a
// printable first model byte (21h-7Eh).
bool LooksLikeIdentifyController(std::span<const uint8_t> data);

using BridgeIdentifySender = bool (*)(platform::Device&, BridgeForm, std::span<uint8_t>);

// Tries the bridge forms in order: ASMedia answers -> 14, JMicron -> 13, RTL9210B with plausible
// data -> 16, RTL9210 with plausible data -> 17; otherwise 21.
DiskKind KindFromBridgeIdentify(platform::Device& device, BridgeIdentifySender send = IdentifyThroughBridge);

// The whole probe of a USB disk at path: 21 when the path does not open.
DiskKind ProbeUsbBridge(platform::DeviceTree& tree, const std::string& path,
                        BridgeIdentifySender send = IdentifyThroughBridge);

}  // namespace kestrune::disk
