// The power requests of the USB-to-NVMe bridges that have them: ASMedia (kinds 14, 15) one CDB
// EAh 5Ah k without data; JMicron (kind 13) its three-phase form with an all-zero command entry
// and the request in byte 72 of the command block.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "disk/disk_kind.h"
#include "disk/nvme_bridge_cdbs.h"
#include "platform/device.h"

namespace kestrune::devcmd {

enum class BridgePower : uint8_t { kOff, kOn, kReLink };

// The request code a bridge kind takes for action (ASMedia 0, 1, 4; JMicron 6, 2, 4); nullopt for a
// kind without power control.
std::optional<uint8_t> BridgePowerCode(disk::DiskKind kind, BridgePower action);

// The ASMedia CDB: EAh 5Ah code, the rest zero.
disk::BridgeCdb AsmediaPowerCdb(uint8_t code);
// The JMicron command block: "NVME", a zero entry, code at byte 72.
std::array<uint8_t, disk::kBridgeWorkBytes> JmicronPowerBlock(uint8_t code);
inline constexpr size_t kJmicronPowerOffset = 72;

// Sends the request to the bridge of kind on device: 0, or -74 when a phase fails, -79 for a kind
// without power control.
int32_t SendBridgePower(platform::Device& device, disk::DiskKind kind, BridgePower action);
// Sends request code c to the bridge of kind (JMicron or ASMedia): 0, -74, or -79 for other kinds.
int32_t SendBridgeCode(platform::Device& device, disk::DiskKind kind, uint8_t c);

// The power reset after a firmware change: JMicron request 5; ASM2362 request 1; ASM2364 0, three
// seconds, then 1. Other kinds: nothing (0). wait sleeps between the ASM2364 requests.
int32_t PowerResetBridge(platform::Device& device, disk::DiskKind kind, const std::function<void(uint32_t)>& wait);
bool HasBridgePowerReset(disk::DiskKind kind);

}  // namespace kestrune::devcmd
