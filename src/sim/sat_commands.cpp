// SCSI/ATA translation for SATA drives: ATA PASS-THROUGH(12) (A1h) and (16) (85h) carry an ATA
// command into the drive's ATA table. As the translation standard says, the 16-byte form fills the
// "previous" (48-bit) registers only when its EXTEND bit is set. A PROTOCOL that does not fit the
// command (non-data, PIO or DMA, and the direction) aborts it, as the device would. An ATA error, or
// the CK_COND bit, gives CHECK CONDITION with sense that returns the ATA registers: descriptor format
// from the host controllers, fixed format from the USB bridge (as many bridges answer).
#include "sim/command_sets.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {
namespace {

using platform::AtaRegisters;
using platform::DataDirection;

// SAT protocol field values (CDB byte 1, bits 1-4).
enum Protocol : uint8_t {
  kHardReset = 0,
  kSoftReset = 1,
  kNonData = 3,
  kPioIn = 4,
  kPioOut = 5,
  kDma = 6,
  kUdmaIn = 10,
  kUdmaOut = 11,
};

// CHECK CONDITION with fixed-format sense: ERROR, STATUS, DEVICE, COUNT in the INFORMATION field,
// EXTEND and LBA low/mid/high in the COMMAND-SPECIFIC INFORMATION field.
void ReturnRegistersFixed(platform::ScsiResult& result, uint8_t key, const AtaRegisters& regs) {
  result.status = 2;
  result.sense = {};
  auto& s = result.sense;
  s[0] = 0xF0;  // VALID, current error
  s[2] = key;
  s[3] = regs.features;
  s[4] = regs.command;
  s[5] = regs.device;
  s[6] = regs.count;
  s[7] = 10;
  s[8] = static_cast<uint8_t>((regs.extended ? 0x80 : 0) | (regs.countExp != 0 ? 0x40 : 0) |
                              ((regs.lbaLowExp | regs.lbaMidExp | regs.lbaHighExp) != 0 ? 0x20 : 0));
  s[9] = regs.lbaLow;
  s[10] = regs.lbaMid;
  s[11] = regs.lbaHigh;
  s[12] = 0x00;
  s[13] = 0x1D;  // ATA pass-through information available
  result.senseLength = 18;
}

// CHECK CONDITION with descriptor-format sense holding the ATA Status Return descriptor.
void ReturnRegisters(platform::ScsiResult& result, uint8_t key, const AtaRegisters& regs) {
  result.status = 2;
  result.sense = {};
  auto& s = result.sense;
  s[0] = 0x72;
  s[1] = key;
  s[2] = 0x00;
  s[3] = 0x1D;  // ATA pass-through information available
  s[7] = 14;
  uint8_t* d = &s[8];
  d[0] = 0x09;
  d[1] = 0x0C;
  d[2] = regs.extended ? 1 : 0;
  d[3] = regs.features;  // ERROR
  d[4] = regs.countExp;
  d[5] = regs.count;
  d[6] = regs.lbaLowExp;
  d[7] = regs.lbaLow;
  d[8] = regs.lbaMidExp;
  d[9] = regs.lbaMid;
  d[10] = regs.lbaHighExp;
  d[11] = regs.lbaHigh;
  d[12] = regs.device;
  d[13] = regs.command;  // STATUS
  result.senseLength = 22;
}

// Whether the PROTOCOL's transfer fits what the command takes.
bool TransferFits(uint8_t command, uint8_t features, DataDirection direction, bool dma) {
  const std::optional<AtaTransfer> want = ExpectedTransfer(command, features);
  if (!want) return true;
  switch (*want) {
    case AtaTransfer::kNone:
      return direction == DataDirection::kNone;
    case AtaTransfer::kPioIn:
      return direction == DataDirection::kIn && !dma;
    case AtaTransfer::kPioOut:
      return direction == DataDirection::kOut && !dma;
    case AtaTransfer::kDmaIn:
      return direction == DataDirection::kIn && dma;
    case AtaTransfer::kDmaOut:
      return direction == DataDirection::kOut && dma;
  }
  return true;
}

void AtaPassThrough(ScsiRequest& r) {
  const bool sixteen = r.cdb[0] == 0x85;
  if (r.cdb.size() < (sixteen ? 16u : 12u))
    return CheckCondition(r.result, sense_key::kIllegalRequest, 0x24, 0);
  const uint8_t protocol = (r.cdb[1] >> 1) & 0x0F;
  const bool toHost = (r.cdb[2] & 0x08) != 0;
  const bool checkCondition = (r.cdb[2] & 0x20) != 0;

  AtaRegisters regs;
  if (sixteen) {
    regs.extended = (r.cdb[1] & 0x01) != 0;
    if (regs.extended) {
      regs.featuresExp = r.cdb[3];
      regs.countExp = r.cdb[5];
      regs.lbaLowExp = r.cdb[7];
      regs.lbaMidExp = r.cdb[9];
      regs.lbaHighExp = r.cdb[11];
    }
    regs.features = r.cdb[4];
    regs.count = r.cdb[6];
    regs.lbaLow = r.cdb[8];
    regs.lbaMid = r.cdb[10];
    regs.lbaHigh = r.cdb[12];
    regs.device = r.cdb[13];
    regs.command = r.cdb[14];
  } else {
    regs.features = r.cdb[3];
    regs.count = r.cdb[4];
    regs.lbaLow = r.cdb[5];
    regs.lbaMid = r.cdb[6];
    regs.lbaHigh = r.cdb[7];
    regs.device = r.cdb[8];
    regs.command = r.cdb[9];
  }

  DataDirection direction = DataDirection::kNone;
  switch (protocol) {
    case kHardReset:
    case kSoftReset:
      return;  // nothing to reset in the simulation
    case kNonData:
      break;
    case kPioIn:
    case kPioOut:
    case kDma:
    case kUdmaIn:
    case kUdmaOut:
      direction = toHost ? DataDirection::kIn : DataDirection::kOut;
      regs.dma = protocol == kDma || protocol == kUdmaIn || protocol == kUdmaOut;
      break;
    default:
      return CheckCondition(r.result, sense_key::kIllegalRequest, 0x24, 0);
  }

  const bool fixedSense = r.drive.description().attachment == Attachment::kSataUsb;
  auto answer = [&](uint8_t key) {
    fixedSense ? ReturnRegistersFixed(r.result, key, regs) : ReturnRegisters(r.result, key, regs);
  };
  if (!TransferFits(regs.command, regs.features, direction, regs.dma)) {
    AtaFail(regs, ata_error::kAbort);
    return answer(sense_key::kAbortedCommand);
  }
  AtaRequest ata{r.drive, regs, direction, direction == DataDirection::kNone ? std::span<uint8_t>() : r.data};
  ExecuteAta(r.drive.commands().ata, ata);
  const bool failed = (regs.command & 0x01) != 0;
  if (failed) return answer(sense_key::kAbortedCommand);
  if (direction != DataDirection::kNone) r.result.transferred = static_cast<uint32_t>(r.data.size());
  if (checkCondition) answer(sense_key::kRecoveredError);
}

}  // namespace

void RegisterSatCommands(ScsiCommandTable& table) {
  table.Register(0xA1, AtaPassThrough);
  table.Register(0x85, AtaPassThrough);
}

}  // namespace kestrune::sim
