// ATA PASS-THROUGH(12) and (16) of the SCSI/ATA translation: the CDBs that carry an ATA task file
// through a SCSI layer (Linux SG_IO, USB and SAS translation layers, the Windows SCSI pass-through),
// the output registers the translation layer hands back in sense data, and whether a completed CDB
// means the ATA command succeeded. Pure byte code, the same on every system.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/device.h"

namespace kestrune::platform {

inline constexpr uint8_t kAtaPassThrough12 = 0xA1;
inline constexpr uint8_t kAtaPassThrough16 = 0x85;

// The PROTOCOL field (CDB byte 1, bits 4-1) of the transfers a task file can ask for.
enum class SatProtocol : uint8_t { kNonData = 3, kPioIn = 4, kPioOut = 5, kDma = 6 };

// The protocol of a task file: non-data without a transfer, DMA when regs.dma is set, else PIO in
// the direction of the transfer.
SatProtocol ProtocolOf(const AtaRegisters& regs, DataDirection direction);

// ATA PASS-THROUGH(16) for regs. The EXTEND bit and the "previous" registers (odd bytes 3-11) are
// filled only for a 48-bit command. A transfer is described as counted in 512-byte blocks in the
// COUNT field (T_LENGTH 2, BYT_BLOK 1, T_TYPE 0) with T_DIR from the direction; translation layers
// take the real length from the request. checkCondition sets CK_COND, which asks the layer to return
// the output registers in sense data even when the command succeeds. (Linux libata reads them too
// early after a PIO data-in command and reports DRQ still set, so callers ask for it on non-data
// commands only; failed commands return their registers either way.)
std::array<uint8_t, 16> AtaPassThrough16Cdb(const AtaRegisters& regs, DataDirection direction,
                                            bool checkCondition);

// ATA PASS-THROUGH(12) for a 28-bit command: the same PROTOCOL, flags and CK_COND as the 16-byte
// form (byte 1 has no EXTEND bit), then features, count, LBA low/mid/high, device and command in
// bytes 3-9.
std::array<uint8_t, 12> AtaPassThrough12Cdb(const AtaRegisters& regs, DataDirection direction,
                                            bool checkCondition);

// Whether an ATA PASS-THROUGH that completed (the transport delivered an answer) means the ATA
// command succeeded: GOOD status, or CHECK CONDITION whose sense says "ATA pass-through information
// available" (ASC/ASCQ 00h/1Dh) and returns an ATA status without ERR (bit 0) or DF (bit 5). Any
// other status or sense, or such sense without registers, is a failure.
bool SatCommandSucceeded(const ScsiResult& result);

// The output registers a translation layer returned in sense data: the ATA Status Return descriptor
// (09h) of descriptor-format sense, or the INFORMATION and COMMAND-SPECIFIC INFORMATION fields of
// fixed-format sense when they hold registers (VALID bit set, or ASC/ASCQ 00h/1Dh "ATA pass-through
// information available"). Fixed-format sense of Linux libata before 6.10 holds them 5 bytes later
// and without the VALID bit; it is told by its empty INFORMATION field and a non-zero status byte.
// Fixed format carries no "previous" registers; they stay 0 there. The result has command = STATUS
// and features = ERROR; extended is the EXTEND bit. nullopt when the sense carries no registers.
std::optional<AtaRegisters> AtaRegistersFromSense(std::span<const uint8_t> sense);

}  // namespace kestrune::platform
