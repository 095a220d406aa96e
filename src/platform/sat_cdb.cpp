#include "platform/sat_cdb.h"

#include <algorithm>

namespace kestrune::platform {
namespace {

constexpr uint8_t kCheckCondition = 0x20;  // CK_COND
constexpr uint8_t kToHost = 0x08;          // T_DIR: from the device
constexpr uint8_t kBlocks = 0x04;          // BYT_BLOK: the length counts blocks
constexpr uint8_t kLengthInCount = 0x02;   // T_LENGTH: the length is in the COUNT field

constexpr uint8_t kStatusReturnDescriptor = 0x09;
constexpr uint8_t kStatusReturnLength = 0x0C;

std::optional<AtaRegisters> FromDescriptorSense(std::span<const uint8_t> sense) {
  if (sense.size() < 8) return std::nullopt;
  const size_t end = std::min<size_t>(sense.size(), 8u + sense[7]);
  for (size_t at = 8; at + 2 <= end;) {
    const uint8_t code = sense[at];
    const size_t length = 2u + sense[at + 1];
    if (code == kStatusReturnDescriptor && sense[at + 1] >= kStatusReturnLength && at + 14 <= sense.size()) {
      const uint8_t* d = sense.data() + at;
      AtaRegisters r;
      r.extended = (d[2] & 0x01) != 0;
      r.features = d[3];
      r.countExp = d[4];
      r.count = d[5];
      r.lbaLowExp = d[6];
      r.lbaLow = d[7];
      r.lbaMidExp = d[8];
      r.lbaMid = d[9];
      r.lbaHighExp = d[10];
      r.lbaHigh = d[11];
      r.device = d[12];
      r.command = d[13];
      return r;
    }
    at += length;
  }
  return std::nullopt;
}

std::optional<AtaRegisters> FromFixedSense(std::span<const uint8_t> sense) {
  if (sense.size() < 12) return std::nullopt;
  const bool valid = (sense[0] & 0x80) != 0;
  const bool passThroughInfo = sense.size() >= 14 && sense[12] == 0x00 && sense[13] == 0x1D;
  AtaRegisters r;
  if (valid || passThroughInfo) {
    r.features = sense[3];
    r.command = sense[4];
    r.device = sense[5];
    r.count = sense[6];
    r.extended = (sense[8] & 0x80) != 0;
    r.lbaLow = sense[9];
    r.lbaMid = sense[10];
    r.lbaHigh = sense[11];
    return r;
  }
  // Linux libata before 6.10 wrote the registers 5 bytes late, without the VALID bit: ERROR,
  // STATUS, DEVICE, COUNT at bytes 8-11, the flags at 16 and the LBA from 17. The INFORMATION field
  // stays zero there, while a status register is never zero after a command.
  const bool informationEmpty = sense[3] == 0 && sense[4] == 0 && sense[5] == 0 && sense[6] == 0;
  if (!informationEmpty || sense[9] == 0) return std::nullopt;
  auto at = [&](size_t i) { return i < sense.size() ? sense[i] : uint8_t{0}; };
  r.features = sense[8];
  r.command = sense[9];
  r.device = sense[10];
  r.count = sense[11];
  r.extended = (at(16) & 0x80) != 0;
  r.lbaLow = at(17);
  r.lbaMid = at(18);
  r.lbaHigh = at(19);
  return r;
}

}  // namespace

SatProtocol ProtocolOf(const AtaRegisters& regs, DataDirection direction) {
  if (direction == DataDirection::kNone) return SatProtocol::kNonData;
  if (regs.dma) return SatProtocol::kDma;
  return direction == DataDirection::kIn ? SatProtocol::kPioIn : SatProtocol::kPioOut;
}

std::array<uint8_t, 16> AtaPassThrough16Cdb(const AtaRegisters& regs, DataDirection direction,
                                            bool checkCondition) {
  std::array<uint8_t, 16> cdb{};
  cdb[0] = kAtaPassThrough16;
  cdb[1] = static_cast<uint8_t>(static_cast<uint8_t>(ProtocolOf(regs, direction)) << 1) | (regs.extended ? 1 : 0);
  uint8_t flags = checkCondition ? kCheckCondition : 0;
  if (direction != DataDirection::kNone) {
    flags |= kBlocks | kLengthInCount;
    if (direction == DataDirection::kIn) flags |= kToHost;
  }
  cdb[2] = flags;
  if (regs.extended) {
    cdb[3] = regs.featuresExp;
    cdb[5] = regs.countExp;
    cdb[7] = regs.lbaLowExp;
    cdb[9] = regs.lbaMidExp;
    cdb[11] = regs.lbaHighExp;
  }
  cdb[4] = regs.features;
  cdb[6] = regs.count;
  cdb[8] = regs.lbaLow;
  cdb[10] = regs.lbaMid;
  cdb[12] = regs.lbaHigh;
  cdb[13] = regs.device;
  cdb[14] = regs.command;
  return cdb;
}

std::array<uint8_t, 12> AtaPassThrough12Cdb(const AtaRegisters& regs, DataDirection direction,
                                            bool checkCondition) {
  const std::array<uint8_t, 16> sixteen = AtaPassThrough16Cdb(regs, direction, checkCondition);
  std::array<uint8_t, 12> cdb{};
  cdb[0] = kAtaPassThrough12;
  cdb[1] = static_cast<uint8_t>(sixteen[1] & 0x1E);
  cdb[2] = sixteen[2];
  cdb[3] = regs.features;
  cdb[4] = regs.count;
  cdb[5] = regs.lbaLow;
  cdb[6] = regs.lbaMid;
  cdb[7] = regs.lbaHigh;
  cdb[8] = regs.device;
  cdb[9] = regs.command;
  return cdb;
}

bool SatCommandSucceeded(const ScsiResult& result) {
  constexpr uint8_t kGood = 0x00, kCheckConditionStatus = 0x02;
  constexpr uint8_t kStatusErr = 0x01, kStatusDeviceFault = 0x20;
  if (result.status == kGood) return true;
  if (result.status != kCheckConditionStatus) return false;
  const std::span<const uint8_t> sense(result.sense.data(), std::min<size_t>(result.senseLength, result.sense.size()));
  if (sense.size() < 3) return false;
  uint8_t asc = 0, ascq = 0;
  switch (sense[0] & 0x7F) {
    case 0x72:
    case 0x73:
      asc = sense[2];
      ascq = sense.size() > 3 ? sense[3] : 0;
      break;
    case 0x70:
    case 0x71:
      if (sense.size() < 14) return false;
      asc = sense[12];
      ascq = sense[13];
      break;
    default:
      return false;
  }
  if (asc != 0x00 || ascq != 0x1D) return false;
  const std::optional<AtaRegisters> out = AtaRegistersFromSense(sense);
  return out && (out->command & (kStatusErr | kStatusDeviceFault)) == 0;
}

std::optional<AtaRegisters> AtaRegistersFromSense(std::span<const uint8_t> sense) {
  if (sense.empty()) return std::nullopt;
  switch (sense[0] & 0x7F) {
    case 0x72:
    case 0x73:
      return FromDescriptorSense(sense);
    case 0x70:
    case 0x71:
      return FromFixedSense(sense);
    default:
      return std::nullopt;
  }
}

}  // namespace kestrune::platform
