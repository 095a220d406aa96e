// The NVMe operations of a disk: one NVMe command, sent through the driver path that the disk's
// kind selects (the inbox driver's storage requests, the Intel RST or community miniport requests,
// or the CDB sets of the USB-to-NVMe bridges).
//
// Each operation sends through a DeviceTarget: from the DeviceTree it opens NvmePathOf(disk) for
// that call (open, send, close); from a Device the caller holds (NvmePathOf(disk), or the path its
// own rules give) it sends on that handle, for callers that send many commands in a row. Both
// build identical requests.
//
// Results (transport results):
//    1  the command was sent and completed successfully
//   -1  the path did not open
//   -2  the parameters cannot be carried (a length the route or the command field cannot hold);
//       nothing is sent
//   -4  the inbox firmware activation failed
//  -74  the request failed at the driver, the bridge refused a phase, or the controller completed
//       the command with an error status
//  -79  the disk's kind cannot carry this operation; nothing is sent
// -255  the inbox SCSI security fallback completed with a non-zero SCSI status
// A completion with an error status is never reported as success or as 0: only 1 is success.
//
// Routes by kind: 10 the inbox driver's storage requests (Deallocate: the community miniport);
// 12 Intel RST; 13 JMicron; 14, 15 ASMedia (three-phase; Identify and Get Log Page also the single
// CDB, in a process-wide order per operation); 16 RTL9210B; 17 RTL9210 (no RawAdmin or Get
// Features: -79); 11 and every other kind the community miniport. The RTL9210 CDB carries only
// the opcode and CDW10 bits 0-7: the NSID, CDW11 and up, and CDW10 bits 8-31 (Set Features value,
// security protocol, format erase setting, Dataset Management attributes) do not reach the drive.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/completion_codes.h"
#include "disk/device_target.h"
#include "disk/disk_entry.h"
#include "platform/device.h"
#include "platform/host.h"

namespace kestrune::disk {

// ---- The command record ----

// Queue of a command: 1 admin, 2 I/O (NVM command set).
enum class NvmeQueue : uint8_t { kAdmin = 1, kIo = 2 };

// Data direction of a command: 0 none, 1 host to device (out), 2 device to host (in).
enum class NvmeDirection : uint8_t { kNone = 0, kOut = 1, kIn = 2 };

// The 64-byte submission queue entry: sixteen little-endian dwords CDW0-CDW15. The data and
// metadata pointers (CDW4-CDW9) stay zero: the transports supply the buffers.
struct NvmeCommand {
  std::array<uint8_t, 64> bytes{};

  uint32_t Cdw(size_t index) const;           // index 0-15
  void SetCdw(size_t index, uint32_t value);  // index 0-15
  uint8_t opcode() const { return bytes[0]; }
  void set_opcode(uint8_t op) { bytes[0] = op; }
  uint32_t nsid() const { return Cdw(1); }
  void set_nsid(uint32_t nsid) { SetCdw(1, nsid); }
  std::span<const uint8_t, 64> span() const { return bytes; }
};
static_assert(sizeof(NvmeCommand) == 64, "an NVMe submission entry is 64 bytes");

// ---- Transport results ----

// Success; the failures are the completion codes listed above (base/completion_codes.h).
inline constexpr int32_t kNvmeDone = 1;

// ---- Fixed values of the operations ----

inline constexpr uint32_t kBroadcastNsid = 0xFFFFFFFF;
inline constexpr uint32_t kRimoSignature = 0x4F4D4952;  // "RIMO" in memory order
inline constexpr size_t kIdentifyBytes = 4096;
// The inbox driver's property queries carry a 4096-byte data area.
inline constexpr size_t kInboxDataAreaBytes = 4096;
// Get Log Page moves at most 65536 dwords (NUMDL is 16 bits here).
inline constexpr size_t kMaxLogPageBytes = 0x10000 * 4;
// The RTL9210 CDBs carry 16-bit lengths, the JMicron CDBs 24-bit ones.
inline constexpr size_t kMaxRtl9210Bytes = 0xFFFF;
inline constexpr size_t kMaxJmicronBytes = 0xFFFFFF;

// The path an operation opens for a disk: the device path for the inbox driver (kind 10), the
// first volume (else the device path) for the USB bridges (13-17), the SCSI port (else the device
// path) for the miniports and every other kind.
const std::string& NvmePathOf(const DiskEntry& disk);

// ---- Operations ----
// Buffers: the span's size is the transfer length (for data in, the bytes the caller wants back).
// dw0 (optional) receives the completion dword where the route returns one; it is written also
// when the command fails (then with whatever the route returned, normally 0).

// The caller's record with opcode (low byte of CDW0) and NSID (CDW1) replaced; admin queue.
int32_t RawAdmin(DeviceTarget target, const DiskEntry& disk, NvmeDirection direction, uint8_t opcode,
                 uint32_t nsid, const NvmeCommand& record, std::span<uint8_t> buffer,
                 uint32_t* dw0 = nullptr);

// Identify (06h), CDW10 = CNS; data in. The inbox driver carries at most 4096 bytes (-2 above).
int32_t Identify(DeviceTarget target, const DiskEntry& disk, uint8_t cns, uint32_t nsid,
                 std::span<uint8_t> buffer, uint32_t* dw0 = nullptr);

// Get Log Page (02h), NSID FFFFFFFFh, CDW10 = LID | LSP<<8 | RAE<<15 | (length/4 - 1)<<16; data in.
// -2 before any I/O when the length is 0, not a multiple of 4 or above kMaxLogPageBytes, or LSP
// does not fit its 7 bits; on the inbox driver also above 4096 bytes or an LSP above 15 (what its
// query carries). The inbox driver always reads a 4096-byte page and returns the length asked.
int32_t GetLogPage(DeviceTarget target, const DiskEntry& disk, uint8_t lid, uint8_t lsp, bool rae,
                   std::span<uint8_t> buffer, uint32_t* dw0 = nullptr);

// Get Features (0Ah), CDW10 = fid (SEL in bits 8-10 may ride along); no data. The value comes back
// as the completion dword. RTL9210 (kind 17): -79. The inbox driver's query names the feature
// only: a fid above FFh gives -2 there.
int32_t GetFeatures(DeviceTarget target, const DiskEntry& disk, uint32_t fid, uint32_t* dw0);

// Set Features (09h), CDW10 = fid | 80000000h when save, CDW11 = value; no data.
int32_t SetFeatures(DeviceTarget target, const DiskEntry& disk, uint32_t fid, bool save, uint32_t value,
                    uint32_t* dw0 = nullptr);

// Firmware Commit statuses (SCT 1) that mean "committed; the new image runs after this reset":
// the commit succeeded and the caller brings the reset about.
inline constexpr uint16_t kCommitNeedsConventionalReset = 0x010B;
inline constexpr uint16_t kCommitNeedsSubsystemReset = 0x0110;
inline constexpr uint16_t kCommitNeedsControllerReset = 0x0111;
bool CommitPendsReset(uint16_t status);

// Firmware Commit (10h), CDW10 = slot | action<<3 (slot and action 0-7, else -2); no data. A route
// that must let the new firmware settle after the commit waits on clock's sleep. status
// (optional) receives the completion's status field (SCT << 8 | SC) where the route returns one
// (0 otherwise); the pending-reset statuses above come with result 1. On the inbox driver (kind 10)
// action 0 cannot be carried (-79: its request either activates or switches to an existing image)
// and a "done, active after a reset" answer reads as kCommitNeedsConventionalReset.
int32_t FirmwareCommit(DeviceTarget target, const DiskEntry& disk, uint8_t slot, uint8_t action,
                       platform::Host& clock, uint32_t* dw0 = nullptr, uint16_t* status = nullptr);

// Firmware Image Download (11h), CDW10 = (length - 1)/4, CDW11 = offset/4; data out. A whole image
// is usually sent through one held handle. -2 when the chunk is empty or its length or offset is
// not a multiple of 4. status as for FirmwareCommit.
int32_t FirmwareDownloadChunk(DeviceTarget target, const DiskEntry& disk, uint32_t offset,
                              std::span<const uint8_t> image, uint16_t* status = nullptr);

// Format NVM (80h), NSID FFFFFFFFh, CDW10 = 200h: user-data erase of every namespace; no data.
int32_t FormatAll(DeviceTarget target, const DiskEntry& disk);

// Security Receive (82h) / Send (81h), NSID FFFFFFFFh, CDW10 = SECP<<24 | SPSP<<8,
// CDW11 = length, CDW14 = CDW15 = "RIMO". On the inbox driver a refused protocol command is
// retried as SCSI SECURITY PROTOCOL IN / OUT (scsiStatus, optional, receives its SCSI status).
int32_t SecurityReceive(DeviceTarget target, const DiskEntry& disk, uint8_t secp, uint16_t spsp,
                        std::span<uint8_t> buffer, uint8_t* scsiStatus = nullptr);
int32_t SecuritySend(DeviceTarget target, const DiskEntry& disk, uint8_t secp, uint16_t spsp,
                     std::span<uint8_t> buffer, uint8_t* scsiStatus = nullptr);

// Dataset Management (09h) on the I/O queue, NSID 1, CDW10 0, CDW11 4 (deallocate): one range of
// count sectors from lba in a 4096-byte page.
int32_t Deallocate(DeviceTarget target, const DiskEntry& disk, uint64_t lba, uint32_t count);

}  // namespace kestrune::disk
