// The USB-to-NVMe bridge chips: each decodes its own CDB set and runs the NVMe command it carries
// on the drive's controller; CDBs of the other chips get CHECK CONDITION (invalid operation code,
// or invalid field in CDB for an unknown phase), as the bridge probe expects.
//
//   JMicron (A1h)          three phases: command (512-byte block "NVME" + entry at 8), data,
//                          completion (512 bytes, the completion entry at 8)
//   ASMedia (EAh/EBh 5Ah)  three phases: command (80h, the 64-byte entry), data (81h), completion
//                          (82h, the 16-byte completion entry); EAh 5Ah 00h/01h/04h switch the
//                          drive's power off, on, or relink it (the JMicron command block does the
//                          same with a zero entry and 6, 2 or 4 in byte 72)
//          (E6h)           one CDB for Identify and Get Log Page
//   RTL9210B (E5h/E4h)     three phases by byte 3: F7h command, F8h data, F9h completion (16
//                          bytes, DW0 at 8); a command the controller refused ends its completion
//                          phase with CHECK CONDITION
//   RTL9210 (E4h)          one CDB: opcode and CDW10 bits 0-7; (E5h, byte 3 11h) firmware download
//
// The single forms fill in what their CDB does not carry: Get Log Page gets NSID FFFFFFFFh and its
// length from the CDB, Identify NSID 0 for the controller structures (CNS 1, 2), every other
// command NSID 1; nothing beyond CDW10 bits 0-7. A refused command ends a single form with CHECK
// CONDITION.
//
// Injected phase failures (FaultPlan::bridgeCheckPhases / bridgeFailPhases) come first in every
// phase.
#include <algorithm>
#include <utility>

#include "base/bytes.h"
#include "sim/command_sets.h"
#include "sim/scsi_bytes.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {
namespace {

using platform::DataDirection;
using platform::NvmeQueue;

constexpr uint8_t kAdminOpGetLogPage = 0x02, kAdminOpIdentify = 0x06, kAdminOpDownload = 0x11;

void InvalidField(ScsiRequest& r) { CheckCondition(r.result, sense_key::kIllegalRequest, 0x24, 0x00); }
void OutOfSequence(ScsiRequest& r) { CheckCondition(r.result, sense_key::kIllegalRequest, 0x2C, 0x00); }
void Refused(ScsiRequest& r) { CheckCondition(r.result, sense_key::kAbortedCommand, 0x00, 0x00); }

// An injected failure of this phase; true when the phase ends here.
bool Faulted(ScsiRequest& r, uint32_t phase) {
  switch (r.drive.TakeBridgeFailure(phase)) {
    case SimDrive::PhaseFault::kCheckCondition:
      Refused(r);
      return true;
    case SimDrive::PhaseFault::kRequestFails:
      r.failed = true;
      return true;
    default:
      return false;
  }
}

uint16_t Le16(const uint8_t* p) { return base::GetLe16(p); }
uint32_t Be24(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2]; }

// Whether the request moves data the way the carried command does, with length bytes available.
bool Carries(const ScsiRequest& r, DataDirection want, uint32_t length) {
  if (want == DataDirection::kNone) return length == 0;
  return r.direction == want && r.data.size() >= length;
}

// The standard 16-byte completion entry of a completion.
std::array<uint8_t, 16> CompletionEntry(const platform::NvmeCompletion& c) {
  std::array<uint8_t, 16> e{};
  base::PutLe32(e.data(), c.dw0);
  base::PutLe16(e.data() + 14, static_cast<uint16_t>(c.status << 1));
  return e;
}

// The command phase: keeps the entry for the data phase.
void TakeCommand(ScsiRequest& r, std::span<const uint8_t> entry, bool ioQueue, uint8_t directionCode) {
  BridgeState& b = r.drive.bridge();
  std::copy_n(entry.begin(), 64, b.entry.begin());
  b.ioQueue = ioQueue;
  b.directionCode = directionCode;
  b.commandPending = true;
  b.completed = false;
  r.result.transferred = static_cast<uint32_t>(entry.size());
}

// The data phase: runs the pending command on length bytes of the request's buffer.
void RunPending(ScsiRequest& r, DataDirection direction, uint32_t length) {
  BridgeState& b = r.drive.bridge();
  if (!b.commandPending) return OutOfSequence(r);
  if (!Carries(r, direction, length)) return InvalidField(r);
  if (b.powerRequest != 0) {  // a JMicron power request: no command reaches the drive
    b.commandPending = false;
    b.completed = true;
    b.completion = {};
    r.result.transferred = 0;
    return;
  }
  if (b.powerOff) return Refused(r);  // the drive has no power
  platform::NvmeCompletion completion;
  ExecuteNvmeEntry(r.drive, b.ioQueue ? NvmeQueue::kIo : NvmeQueue::kAdmin, b.entry, direction,
                   r.data.first(direction == DataDirection::kNone ? 0 : length), completion);
  b.commandPending = false;
  b.completed = true;
  b.completion = CompletionEntry(completion);
  r.result.transferred = length;
}

// A single-CDB command: runs entry on the admin queue with the request's buffer.
void RunSingle(ScsiRequest& r, const std::array<uint32_t, 16>& cdw, uint32_t length) {
  if (r.drive.bridge().powerOff) return Refused(r);  // the drive has no power
  if (r.direction != DataDirection::kNone && r.data.size() < length) return InvalidField(r);
  std::array<uint8_t, 64> entry{};
  for (size_t i = 0; i < 16; ++i) base::PutLe32(entry.data() + 4 * i, cdw[i]);
  platform::NvmeCompletion completion;
  ExecuteNvmeEntry(r.drive, NvmeQueue::kAdmin, entry, r.direction,
                   r.data.first(r.direction == DataDirection::kNone ? 0 : length), completion);
  if (completion.status != 0) return Refused(r);
  r.result.transferred = r.direction == DataDirection::kNone ? 0 : length;
}

// ---- JMicron ----

void Jmicron(ScsiRequest& r) {
  if (r.cdb.size() < 12) return InvalidField(r);
  const uint8_t phase = r.cdb[1] & 0x7F;
  const uint32_t length = Be24(&r.cdb[3]);
  BridgeState& b = r.drive.bridge();
  switch (phase) {
    case 0x00: {  // command block
      if (Faulted(r, bridge_phase::kCommand)) return;
      if (length != 512 || !Carries(r, DataDirection::kOut, 512)) return InvalidField(r);
      if (!std::equal(r.data.begin(), r.data.begin() + 4, "NVME")) return InvalidField(r);
      TakeCommand(r, r.data.subspan(8, 64), (r.cdb[1] & 0x80) == 0, 0);
      // An all-zero entry with a request at byte 72 (6 off, 2 on, 4 relink, 5 power reset) switches
      // the power.
      b.powerRequest = 0;
      if (std::all_of(r.data.begin() + 8, r.data.begin() + 72, [](uint8_t x) { return x == 0; }) &&
          (r.data[72] == 2 || r.data[72] == 4 || r.data[72] == 5 || r.data[72] == 6))
        b.powerRequest = r.data[72];
      r.result.transferred = 512;
      return;
    }
    case 0x01:
    case 0x02:
    case 0x03: {
      if (Faulted(r, bridge_phase::kData)) return;
      const DataDirection d = phase == 0x02 ? DataDirection::kIn : phase == 0x03 ? DataDirection::kOut
                                                                                 : DataDirection::kNone;
      return RunPending(r, d, length);
    }
    case 0x0F: {
      if (Faulted(r, bridge_phase::kCompletion)) return;
      if (!b.completed) return OutOfSequence(r);
      if (length != 512 || !Carries(r, DataDirection::kIn, 512)) return InvalidField(r);
      std::fill(r.data.begin(), r.data.begin() + 512, uint8_t{0});
      std::copy(b.completion.begin(), b.completion.end(), r.data.begin() + 8);
      b.completed = false;
      r.result.transferred = 512;
      // A power request takes effect once the bridge has answered it.
      if (const uint8_t request = std::exchange(b.powerRequest, uint8_t{0}); request != 0)
        r.drive.BridgePowerLocked(request == 6   ? SimDrive::BridgePowerAction::kOff
                                  : request == 2 ? SimDrive::BridgePowerAction::kOn
                                                 : SimDrive::BridgePowerAction::kReLink);
      return;
    }
    default:
      return InvalidField(r);
  }
}

// ---- ASMedia ----

DataDirection AsmediaDirection(uint8_t code) {
  return code == 1 ? DataDirection::kIn : code == 2 ? DataDirection::kOut : DataDirection::kNone;
}

void AsmediaThreePhase(ScsiRequest& r) {
  if (r.cdb.size() < 16 || r.cdb[1] != 0x5A) return InvalidField(r);
  const uint32_t length = GetBe32(&r.cdb[10]);
  const bool write = r.cdb[0] == 0xEA;
  BridgeState& b = r.drive.bridge();
  switch (r.cdb[2]) {
    case 0x00:  // the bridge's power requests: off, on, relink (no data)
    case 0x01:
    case 0x04:
      if (!write || r.direction != DataDirection::kNone) return InvalidField(r);
      r.drive.BridgePowerLocked(r.cdb[2] == 0x00   ? SimDrive::BridgePowerAction::kOff
                                : r.cdb[2] == 0x01 ? SimDrive::BridgePowerAction::kOn
                                                   : SimDrive::BridgePowerAction::kReLink);
      r.result.transferred = 0;
      return;
    case 0x80:  // command
      if (!write) return InvalidField(r);
      if (Faulted(r, bridge_phase::kCommand)) return;
      if (length != 64 || !Carries(r, DataDirection::kOut, 64)) return InvalidField(r);
      return TakeCommand(r, r.data.first(64), (r.cdb[3] & 1) != 0, r.cdb[4]);
    case 0x81: {  // data: EAh carries data out, EBh none or in
      if (Faulted(r, bridge_phase::kData)) return;
      const DataDirection d = AsmediaDirection(r.cdb[4]);
      if (write != (d == DataDirection::kOut)) return InvalidField(r);
      return RunPending(r, d, d == DataDirection::kNone ? 0 : length);
    }
    case 0x82:  // completion
      if (write) return InvalidField(r);
      if (Faulted(r, bridge_phase::kCompletion)) return;
      if (!b.completed) return OutOfSequence(r);
      if (length != 16 || !Carries(r, DataDirection::kIn, 16)) return InvalidField(r);
      std::copy(b.completion.begin(), b.completion.end(), r.data.begin());
      b.completed = false;
      r.result.transferred = 16;
      return;
    default:
      return InvalidField(r);
  }
}

void AsmediaSingle(ScsiRequest& r) {
  if (r.cdb.size() < 16) return InvalidField(r);
  if (Faulted(r, bridge_phase::kSingle)) return;
  const uint8_t opcode = r.cdb[1];
  if (opcode != kAdminOpIdentify && opcode != kAdminOpGetLogPage) return InvalidField(r);
  std::array<uint32_t, 16> cdw{};
  cdw[0] = opcode;
  cdw[10] = r.cdb[3];
  uint32_t length = static_cast<uint32_t>(r.data.size());
  if (opcode == kAdminOpGetLogPage) {
    const uint32_t numd = static_cast<uint32_t>(r.cdb[6] << 8 | r.cdb[7]);
    cdw[1] = 0xFFFFFFFF;
    cdw[10] |= numd << 16;
    length = (numd + 1) * 4;
  } else {
    cdw[1] = r.cdb[7];
    length = std::min<uint32_t>(length, 4096);
  }
  RunSingle(r, cdw, length);
}

// ---- Realtek ----

DataDirection RealtekDirection(uint8_t code) { return AsmediaDirection(code); }

void Rtl9210BThreePhase(ScsiRequest& r) {
  if (r.cdb.size() < 16) return InvalidField(r);
  const uint32_t length = Le16(&r.cdb[1]);
  const bool in = r.cdb[0] == 0xE4;
  BridgeState& b = r.drive.bridge();
  switch (r.cdb[3]) {
    case 0xF7:  // command
      if (in) return InvalidField(r);
      if (Faulted(r, bridge_phase::kCommand)) return;
      if (length != 64 || !Carries(r, DataDirection::kOut, 64)) return InvalidField(r);
      return TakeCommand(r, r.data.first(64), (r.cdb[4] & 1) != 0, 0);
    case 0xF8: {  // data: E4h for data in, E5h otherwise
      if (Faulted(r, bridge_phase::kData)) return;
      const DataDirection d = RealtekDirection(r.cdb[6]);
      if (in != (d == DataDirection::kIn)) return InvalidField(r);
      return RunPending(r, d, d == DataDirection::kNone ? 0 : length);
    }
    case 0xF9: {  // completion
      if (!in) return InvalidField(r);
      if (Faulted(r, bridge_phase::kCompletion)) return;
      if (!b.completed) return OutOfSequence(r);
      if (length != 16 || !Carries(r, DataDirection::kIn, 16)) return InvalidField(r);
      b.completed = false;
      if (base::GetLe16(&b.completion[14]) >> 1 != 0) return Refused(r);
      std::fill(r.data.begin(), r.data.begin() + 16, uint8_t{0});
      std::copy_n(b.completion.begin(), 4, r.data.begin() + 8);  // DW0 at 8-11
      r.result.transferred = 16;
      return;
    }
    default:
      return InvalidField(r);
  }
}

void Rtl9210Single(ScsiRequest& r) {
  if (r.cdb.size() < 16) return InvalidField(r);
  if (Faulted(r, bridge_phase::kSingle)) return;
  const uint32_t length = Le16(&r.cdb[1]);
  std::array<uint32_t, 16> cdw{};
  cdw[0] = r.cdb[3];
  cdw[10] = r.cdb[4];
  if (r.cdb[0] == 0xE5) {  // firmware download chunk
    if (r.cdb[3] != kAdminOpDownload) return InvalidField(r);
    cdw[10] = Le16(&r.cdb[4]);
    cdw[11] = Le16(&r.cdb[6]);
    if (!Carries(r, DataDirection::kOut, length)) return InvalidField(r);
    return RunSingle(r, cdw, length);
  }
  if (cdw[0] == kAdminOpGetLogPage) {
    if (length < 4) return InvalidField(r);
    cdw[1] = 0xFFFFFFFF;
    cdw[10] |= (length / 4 - 1) << 16;
  } else {
    cdw[1] = cdw[0] == kAdminOpIdentify && (cdw[10] == 1 || cdw[10] == 2) ? 0 : 1;
  }
  RunSingle(r, cdw, length);
}

}  // namespace

void RegisterBridgeCommands(Attachment a, ScsiCommandTable& table) {
  switch (a) {
    case Attachment::kUsbJmicron:
      table.Register(0xA1, Jmicron);
      return;
    case Attachment::kUsbAsm2362:
    case Attachment::kUsbAsm2364:
      table.Register(0xEA, AsmediaThreePhase);
      table.Register(0xEB, AsmediaThreePhase);
      table.Register(0xE6, AsmediaSingle);
      return;
    case Attachment::kUsbRtl9210B:
      table.Register(0xE4, Rtl9210BThreePhase);
      table.Register(0xE5, Rtl9210BThreePhase);
      return;
    case Attachment::kUsbRtl9210:
      table.Register(0xE4, Rtl9210Single);
      table.Register(0xE5, Rtl9210Single);
      return;
    default:
      return;
  }
}

}  // namespace kestrune::sim
