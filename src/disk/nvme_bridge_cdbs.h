// The SCSI CDBs (16 bytes each) and work blocks with which the USB-to-NVMe bridges carry an NVMe
// command. Bytes the forms do not name are zero.
//
// Direction codes differ per bridge and are given as NvmeDirection here; the queue flag is 1 for
// the I/O queue and 0 for the admin queue.
#pragma once

#include <array>
#include <cstdint>

#include "disk/nvme_operations.h"

namespace kestrune::disk {

using BridgeCdb = std::array<uint8_t, 16>;
inline constexpr size_t kBridgeCompletionBytes = 16;
inline constexpr size_t kBridgeWorkBytes = 512;

// ASMedia three-phase form: command (EAh 5Ah 80h, 64 bytes out), data (EBh or EAh, 5Ah 81h, the
// transfer), completion (EBh 5Ah 82h, 16 bytes in). Byte 3 queue flag, byte 4 direction code
// (0 none, 1 in, 2 out), bytes 10-13 the length (big-endian).
BridgeCdb AsmediaCommandCdb(NvmeQueue queue, NvmeDirection direction);
BridgeCdb AsmediaDataCdb(NvmeQueue queue, NvmeDirection direction, uint32_t length);
BridgeCdb AsmediaCompletionCdb(NvmeQueue queue, NvmeDirection direction);

// ASMedia single form: E6h, byte 1 opcode, byte 3 CDW10 bits 0-7, byte 7 NSID bits 0-7; for NSID
// FFFFFFFFh bytes 6-7 carry length/4 - 1 instead (high byte first).
BridgeCdb AsmediaSingleCdb(const NvmeCommand& command, uint32_t length);

// JMicron form: A1h; byte 1 the phase and queue (command 80h/00h, data direction code 1 none,
// 2 in, 3 out plus 80h for admin, completion 8Fh/0Fh); bytes 3-5 the length (big-endian).
BridgeCdb JmicronCommandCdb(NvmeQueue queue);
BridgeCdb JmicronDataCdb(NvmeQueue queue, NvmeDirection direction, uint32_t length);
BridgeCdb JmicronCompletionCdb(NvmeQueue queue);
// The 512-byte command block: "NVME" at 0, the entry at 8-71, zero elsewhere.
std::array<uint8_t, kBridgeWorkBytes> JmicronCommandBlock(const NvmeCommand& command);
inline constexpr size_t kJmicronEntryOffset = 8;  // also where the completion entry starts

// RTL9210B form: command (E5h, 64 LE, F7h, queue flag; 64 bytes out), data (E4h for data in, E5h
// otherwise; length LE; F8h; byte 6 direction code 0 none, 1 in, 2 out), completion (E4h, 16,
// F9h; 16 bytes in, DW0 at bytes 8-11).
BridgeCdb Rtl9210BCommandCdb(NvmeQueue queue);
BridgeCdb Rtl9210BDataCdb(NvmeDirection direction, uint32_t length);
BridgeCdb Rtl9210BCompletionCdb();
inline constexpr size_t kRtl9210BDw0Offset = 8;

// RTL9210 form: E4h, length LE, byte 3 opcode, byte 4 CDW10 bits 0-7. Its firmware download
// chunk: E5h, length LE, 11h, (length - 1)/4 LE at 4-5, offset/4 LE at 6-7.
BridgeCdb Rtl9210Cdb(const NvmeCommand& command, uint32_t length);
BridgeCdb Rtl9210DownloadCdb(uint32_t offset, uint32_t length);

}  // namespace kestrune::disk
