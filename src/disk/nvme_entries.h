// The submission entries of the NVMe operations, and what counts as a successful completion.
#pragma once

#include <cstdint>

#include "disk/nvme_operations.h"

namespace kestrune::disk {

namespace nvme_opcode {
inline constexpr uint8_t kGetLogPage = 0x02;
inline constexpr uint8_t kIdentify = 0x06;
inline constexpr uint8_t kSetFeatures = 0x09;
inline constexpr uint8_t kDatasetManagement = 0x09;  // I/O queue
inline constexpr uint8_t kGetFeatures = 0x0A;
inline constexpr uint8_t kFirmwareCommit = 0x10;
inline constexpr uint8_t kFirmwareDownload = 0x11;
inline constexpr uint8_t kFormatNvm = 0x80;
inline constexpr uint8_t kSecuritySend = 0x81;
inline constexpr uint8_t kSecurityReceive = 0x82;
}  // namespace nvme_opcode

inline constexpr uint32_t kFormatUserDataErase = 0x200;
inline constexpr uint32_t kSaveBit = 0x80000000;

NvmeCommand IdentifyCommand(uint8_t cns, uint32_t nsid);
// length: the page's bytes (a multiple of 4, at least 4); NUMDL = length/4 - 1.
NvmeCommand GetLogPageCommand(uint8_t lid, uint8_t lsp, bool rae, uint32_t length);
NvmeCommand GetFeaturesCommand(uint32_t fid);
NvmeCommand SetFeaturesCommand(uint32_t fid, bool save, uint32_t value);
NvmeCommand FirmwareCommitCommand(uint8_t slot, uint8_t action);
// offset and length in bytes (multiples of 4, length at least 4).
NvmeCommand FirmwareDownloadCommand(uint32_t offset, uint32_t length);
NvmeCommand FormatAllCommand();
NvmeCommand SecurityCommand(uint8_t opcode, uint8_t secp, uint16_t spsp, uint32_t length);
NvmeCommand DeallocateCommand();

// The status field of a completion (SCT in bits 8-10, SC in bits 0-7, phase bit removed) of a
// command with this opcode is a success: generic status 0, or for Firmware Commit one of the
// command-specific statuses that mean the image is in place and waits for a reset
// (CommitPendsReset).
bool CompletionSucceeded(uint8_t opcode, uint16_t status);

// The status field of a 16-byte completion entry at entry (bytes 14-15, without the phase bit).
uint16_t CompletionStatusAt(const uint8_t* entry);

}  // namespace kestrune::disk
