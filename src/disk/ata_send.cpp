#include "disk/ata_send.h"

#include "platform/sat_cdb.h"

namespace kestrune::disk {
namespace {

constexpr uint8_t kStatusError = 0x01;
constexpr uint8_t kStatusDataRequest = 0x08;
constexpr uint8_t kStatusDeviceFault = 0x20;

AtaRouteResult FromTransport(platform::PassStatus s) {
  switch (s) {
    case platform::PassStatus::kOk:
      return AtaRouteResult::kDone;
    case platform::PassStatus::kNotSupported:
      return AtaRouteResult::kUnavailable;
    default:
      return AtaRouteResult::kFailed;
  }
}

platform::DataDirection Carried(const AtaTaskFile& tf, std::span<uint8_t> data) {
  return data.empty() ? platform::DataDirection::kNone : DirectionOf(tf.flags);
}

}  // namespace

std::vector<uint8_t> SatCdbOf(const AtaTaskFile& tf) {
  const platform::AtaRegisters regs = RegistersOf(tf);
  const platform::DataDirection direction = DirectionOf(tf.flags);
  if (regs.extended) {
    const auto cdb = platform::AtaPassThrough16Cdb(regs, direction, false);
    return {cdb.begin(), cdb.end()};
  }
  const auto cdb = platform::AtaPassThrough12Cdb(regs, direction, false);
  return {cdb.begin(), cdb.end()};
}

AtaRouteResult SendAtaRoute(platform::Device& device, const AtaTaskFile& tf, std::span<uint8_t> data,
                            uint32_t timeoutSeconds) {
  platform::AtaRegisters regs = RegistersOf(tf);
  const AtaRouteResult sent = FromTransport(device.Ata(regs, Carried(tf, data), data, timeoutSeconds));
  if (sent != AtaRouteResult::kDone) return sent;
  return (regs.command & (kStatusError | kStatusDataRequest | kStatusDeviceFault)) != 0
             ? AtaRouteResult::kDeviceError
             : AtaRouteResult::kDone;
}

AtaRouteResult SendSatRoute(platform::Device& device, const AtaTaskFile& tf, std::span<uint8_t> data,
                            uint32_t timeoutSeconds) {
  const std::vector<uint8_t> cdb = SatCdbOf(tf);
  platform::ScsiResult result;
  const AtaRouteResult sent =
      FromTransport(device.Scsi(cdb, Carried(tf, data), data, timeoutSeconds, result));
  if (sent != AtaRouteResult::kDone) return sent;
  return platform::SatCommandSucceeded(result) ? AtaRouteResult::kDone : AtaRouteResult::kDeviceError;
}

bool SentOnceOnly(uint8_t command) { return (command >= 0xF1 && command <= 0xF6) || command == 0x92; }

bool AtaSend(DiskKind kind, platform::Device& device, const AtaTaskFile& tf, std::span<uint8_t> data,
             uint32_t timeoutSeconds) {
  if (kind != DiskKind::kUsbAta) {
    const AtaRouteResult direct = SendAtaRoute(device, tf, data, timeoutSeconds);
    if (direct == AtaRouteResult::kDone) return true;
    if (SentOnceOnly(tf.command) && direct != AtaRouteResult::kUnavailable) return false;
  }
  return SendSatRoute(device, tf, data, timeoutSeconds) == AtaRouteResult::kDone;
}

}  // namespace kestrune::disk
