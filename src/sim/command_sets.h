// The command tables of a simulated drive: opcode -> handler for NVMe (per queue), ATA (by command
// code) and SCSI (by CDB operation code). A drive's tables are built once from its attachment
// (CommandSetsFor); new commands are added by registering handlers in the Register* function of
// their protocol, each handler in the file of its command group.
//
// Handlers run with the drive's lock held and must not block or throw. They leave their answer in
// the request: the NVMe completion, the ATA output registers, the SCSI status and sense.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>

#include "platform/device.h"
#include "sim/lab_description.h"

namespace kestrune::sim {

class SimDrive;

template <typename Request>
class CommandTable {
 public:
  using Handler = std::function<void(Request&)>;
  void Register(uint16_t key, Handler handler) { handlers_[key] = std::move(handler); }
  void Remove(uint16_t key) { handlers_.erase(key); }
  bool Has(uint16_t key) const { return handlers_.count(key) != 0; }
  const Handler* Find(uint16_t key) const {
    auto it = handlers_.find(key);
    return it == handlers_.end() ? nullptr : &it->second;
  }

 private:
  std::map<uint16_t, Handler> handlers_;
};

// ---- NVMe ----

// Status field values (SCT << 8 | SC) of the completions the simulated controllers give.
namespace nvme_status {
inline constexpr uint16_t kSuccess = 0x0000;
inline constexpr uint16_t kInvalidOpcode = 0x0001;
inline constexpr uint16_t kInvalidField = 0x0002;
inline constexpr uint16_t kDataTransferError = 0x0004;
inline constexpr uint16_t kInternalError = 0x0006;
inline constexpr uint16_t kInvalidNamespace = 0x000B;
inline constexpr uint16_t kLbaOutOfRange = 0x0080;
inline constexpr uint16_t kWriteFault = 0x0280;
inline constexpr uint16_t kUnrecoveredReadError = 0x0281;
}  // namespace nvme_status

struct NvmeRequest {
  SimDrive& drive;
  platform::NvmeQueue queue;
  std::array<uint32_t, 16> cdw;  // the submission entry as sixteen little-endian dwords
  platform::DataDirection direction;
  std::span<uint8_t> data;
  platform::NvmeCompletion& completion;  // starts as success with DW0 0

  uint8_t opcode() const { return static_cast<uint8_t>(cdw[0]); }
  uint32_t nsid() const { return cdw[1]; }
};
using NvmeCommandTable = CommandTable<NvmeRequest>;
inline uint16_t NvmeKey(platform::NvmeQueue queue, uint8_t opcode) {
  return static_cast<uint16_t>((static_cast<uint16_t>(queue) << 8) | opcode);
}
// Runs the handler of the request's queue and opcode (Invalid Command Opcode when there is none),
// unless a failure is injected for it; a failed command goes into the controller's error log.
void ExecuteNvme(const NvmeCommandTable& table, NvmeRequest& request);
// Runs a 64-byte submission entry on the drive's controller (the carriage of every route).
void ExecuteNvmeEntry(SimDrive& drive, platform::NvmeQueue queue, std::span<const uint8_t, 64> entry,
                      platform::DataDirection direction, std::span<uint8_t> data,
                      platform::NvmeCompletion& completion);
// Admin: Get Log Page (02h), Identify (06h), Set/Get Features (09h/0Ah), Firmware Commit (10h),
// Firmware Image Download (11h), Format NVM (80h), Security Send/Receive (81h/82h). I/O: Flush
// (00h), Write (01h), Read (02h), Dataset Management (09h).
void RegisterNvmeCommands(NvmeCommandTable& table);

// ---- ATA ----

namespace ata_status {
inline constexpr uint8_t kReady = 0x50;  // DRDY, DSC
inline constexpr uint8_t kError = 0x51;  // DRDY, DSC, ERR
}  // namespace ata_status
namespace ata_error {
inline constexpr uint8_t kAbort = 0x04;
inline constexpr uint8_t kIdNotFound = 0x10;
inline constexpr uint8_t kUncorrectable = 0x40;
}  // namespace ata_error

struct AtaRequest {
  SimDrive& drive;
  platform::AtaRegisters&
      regs;  // inputs; the handler leaves the outputs (STATUS in command, ERROR in features)
  platform::DataDirection direction;
  std::span<uint8_t> data;

  // The LBA of a 28-bit command (device register bits 0-3 on top) and of a 48-bit command (the
  // "previous" registers count only when the request carried them).
  uint64_t lba28() const;
  uint64_t lba48() const;
  // Sector counts: 0 means 256 (28-bit) or 65536 (48-bit).
  uint32_t count28() const;
  uint32_t count48() const;
};
using AtaCommandTable = CommandTable<AtaRequest>;
void AtaSucceed(platform::AtaRegisters& regs);
// Error outputs; lba (when given) goes to the LBA registers as the failing sector.
void AtaFail(platform::AtaRegisters& regs, uint8_t error, std::optional<uint64_t> lba = std::nullopt);
// Runs the handler of the command code (ABORT when there is none), unless a failure is injected for
// it; tells the security state machine which command runs.
void ExecuteAta(const AtaCommandTable& table, AtaRequest& request);
// IDENTIFY DEVICE, READ/WRITE SECTORS (EXT), READ/WRITE MULTIPLE (EXT, FUA EXT), SET MULTIPLE,
// READ/WRITE DMA (EXT), WRITE DMA FUA EXT, FLUSH CACHE (EXT), STANDBY IMMEDIATE, IDLE IMMEDIATE,
// SET FEATURES (write cache on/off), DOWNLOAD MICROCODE, and the two groups below.
void RegisterAtaCommands(AtaCommandTable& table);
// SMART (B0h): enable/disable, READ DATA, READ THRESHOLDS, EXECUTE OFF-LINE IMMEDIATE, RETURN STATUS.
void RegisterAtaSmartCommands(AtaCommandTable& table);
// The security feature set: SET PASSWORD, UNLOCK, ERASE PREPARE, ERASE UNIT, FREEZE LOCK, DISABLE
// PASSWORD (F1h-F6h).
void RegisterAtaSecurityCommands(AtaCommandTable& table);
// The maker's vendor commands C1h, C2h, C3h and FEh (ata_vendor.cpp).
void RegisterAtaVendorCommands(AtaCommandTable& table);

// The data transfer an ATA command takes, as a translation layer checks the PROTOCOL against it.
enum class AtaTransfer : uint8_t { kNone, kPioIn, kPioOut, kDmaIn, kDmaOut };
// nullopt for commands whose transfer the drive does not check.
std::optional<AtaTransfer> ExpectedTransfer(uint8_t command, uint8_t features);

// ---- SCSI ----

namespace sense_key {
inline constexpr uint8_t kRecoveredError = 0x01;
inline constexpr uint8_t kNotReady = 0x02;
inline constexpr uint8_t kMediumError = 0x03;
inline constexpr uint8_t kIllegalRequest = 0x05;
inline constexpr uint8_t kAbortedCommand = 0x0B;
}  // namespace sense_key

struct ScsiRequest {
  SimDrive& drive;
  std::span<const uint8_t> cdb;
  platform::DataDirection direction;
  std::span<uint8_t> data;
  platform::ScsiResult& result;  // starts as GOOD with nothing transferred
  bool failed = false;           // set by a handler: the request fails as a whole (no status)
};
using ScsiCommandTable = CommandTable<ScsiRequest>;
// CHECK CONDITION with fixed-format sense data.
void CheckCondition(platform::ScsiResult& result, uint8_t key, uint8_t asc, uint8_t ascq);
// The sense key, ASC and ASCQ of a result's sense data (fixed or descriptor format).
std::array<uint8_t, 3> SenseCodes(const platform::ScsiResult& result);
// Runs the handler of the operation code; CHECK CONDITION, ILLEGAL REQUEST, INVALID COMMAND
// OPERATION CODE when there is none.
void ExecuteScsi(const ScsiCommandTable& table, ScsiRequest& request);
// What every disk answers: TEST UNIT READY, INQUIRY, READ CAPACITY(10/16), READ/WRITE(10/16),
// SYNCHRONIZE CACHE(10).
void RegisterScsiCommands(ScsiCommandTable& table);
// SCSI/ATA translation: ATA PASS-THROUGH(12) and (16) into the drive's ATA table.
void RegisterSatCommands(ScsiCommandTable& table);
// The system NVMe driver's SCSI translation: SECURITY PROTOCOL IN (A2h) / OUT (B5h) into Security
// Receive / Send.
void RegisterNvmeTranslation(ScsiCommandTable& table);
// The NVMe carriage of a USB bridge: the CDB set of the attachment's chip (JMicron A1h, ASMedia
// EAh/EBh/E6h, RTL9210B E4h/E5h three-phase, RTL9210 E4h/E5h single); nothing for other attachments.
void RegisterBridgeCommands(Attachment a, ScsiCommandTable& table);

struct CommandSets {
  NvmeCommandTable nvme;
  AtaCommandTable ata;
  ScsiCommandTable scsi;
};

// The tables of a drive on this attachment: NVMe for NVMe drives, ATA for SATA drives, SCSI for
// every disk, with ATA PASS-THROUGH for SATA drives.
CommandSets CommandSetsFor(Attachment a);

}  // namespace kestrune::sim
