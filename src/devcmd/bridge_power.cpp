#include "devcmd/bridge_power.h"

#include <cstring>

#include "base/completion_codes.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
constexpr uint32_t kPowerTimeoutSeconds = 60;

bool Good(platform::Device& device, std::span<const uint8_t> cdb, platform::DataDirection direction,
          std::span<uint8_t> data) {
  platform::ScsiResult result;
  return device.Scsi(cdb, direction, data, kPowerTimeoutSeconds, result) == platform::PassStatus::kOk &&
         result.status == 0;
}

}  // namespace

std::optional<uint8_t> BridgePowerCode(disk::DiskKind kind, BridgePower action) {
  switch (kind) {
    case disk::DiskKind::kAsm2362:
    case disk::DiskKind::kAsm2364:
      return action == BridgePower::kOff ? 0 : action == BridgePower::kOn ? 1 : 4;
    case disk::DiskKind::kJmi:
      return action == BridgePower::kOff ? 6 : action == BridgePower::kOn ? 2 : 4;
    default:
      return std::nullopt;
  }
}

disk::BridgeCdb AsmediaPowerCdb(uint8_t c) {
  disk::BridgeCdb cdb{};
  cdb[0] = 0xEA;
  cdb[1] = 0x5A;
  cdb[2] = c;
  return cdb;
}

std::array<uint8_t, disk::kBridgeWorkBytes> JmicronPowerBlock(uint8_t c) {
  std::array<uint8_t, disk::kBridgeWorkBytes> block{};
  std::memcpy(block.data(), "NVME", 4);
  block[kJmicronPowerOffset] = c;
  return block;
}

int32_t SendBridgePower(platform::Device& device, disk::DiskKind kind, BridgePower action) {
  const std::optional<uint8_t> c = BridgePowerCode(kind, action);
  if (!c) return code::kNotSupported;
  return SendBridgeCode(device, kind, *c);
}

bool HasBridgePowerReset(disk::DiskKind kind) { return BridgePowerCode(kind, BridgePower::kOn).has_value(); }

int32_t PowerResetBridge(platform::Device& device, disk::DiskKind kind, const std::function<void(uint32_t)>& wait) {
  switch (kind) {
    case disk::DiskKind::kJmi:
      return SendBridgeCode(device, kind, 5);
    case disk::DiskKind::kAsm2362:
      return SendBridgeCode(device, kind, 1);
    case disk::DiskKind::kAsm2364: {
      if (const int32_t rc = SendBridgeCode(device, kind, 0); rc != 0) return rc;
      wait(3000);
      return SendBridgeCode(device, kind, 1);
    }
    default:
      return 0;
  }
}

int32_t SendBridgeCode(platform::Device& device, disk::DiskKind kind, uint8_t c) {
  if (!HasBridgePowerReset(kind)) return code::kNotSupported;
  using platform::DataDirection;
  if (kind != disk::DiskKind::kJmi) {
    const disk::BridgeCdb cdb = AsmediaPowerCdb(c);
    return Good(device, cdb, DataDirection::kNone, {}) ? 0 : code::kIoControlError;
  }
  std::array<uint8_t, disk::kBridgeWorkBytes> work = JmicronPowerBlock(c);
  const auto queue = disk::NvmeQueue::kAdmin;
  if (!Good(device, disk::JmicronCommandCdb(queue), DataDirection::kOut, work)) return code::kIoControlError;
  if (!Good(device, disk::JmicronDataCdb(queue, disk::NvmeDirection::kNone, 0), DataDirection::kNone, {}))
    return code::kIoControlError;
  work.fill(0);
  if (!Good(device, disk::JmicronCompletionCdb(queue), DataDirection::kIn, work)) return code::kIoControlError;
  return 0;
}

}  // namespace kestrune::devcmd
