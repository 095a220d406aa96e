// Request layouts of the SCSI-port pass-through requests on Windows x64, as portable bytes:
// SCSI_PASS_THROUGH_DIRECT with its sense area, ATA_PASS_THROUGH_DIRECT, and the SRB_IO_CONTROL
// requests of IOCTL_SCSI_MINIPORT that carry NVMe commands to the Intel RST miniport ("IntelNvm",
// "IntelFw ") and to the community NVMe miniport ("NvmeMini").
//
// The direct forms carry the address of the caller's data buffer; builders take it as a number so
// that the bytes are the same on every host and the tests can pin them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/device.h"

namespace kestrune::platform::winio {

// --- SCSI_PASS_THROUGH_DIRECT ---------------------------------------------------------------

inline constexpr size_t kSptdHeaderBytes = 56;  // sizeof(SCSI_PASS_THROUGH_DIRECT) on x64
inline constexpr size_t kSptdSenseOffset = 60;  // after the header and a 4-byte filler
inline constexpr size_t kSptdSenseBytes = 64;
inline constexpr size_t kSptdRequestBytes = 128;  // header, filler, sense, padded to 8 bytes
static_assert(kSptdSenseOffset + kSptdSenseBytes <= kSptdRequestBytes && kSptdRequestBytes % 8 == 0);
inline constexpr size_t kMaxCdbBytes = 16;

// SCSI_PASS_THROUGH_DIRECT.DataIn
inline constexpr uint8_t kScsiDataOut = 0;
inline constexpr uint8_t kScsiDataIn = 1;
inline constexpr uint8_t kScsiDataUnspecified = 2;

uint8_t ScsiDataInOf(DataDirection direction);

struct SptdFields {
  std::span<const uint8_t> cdb;  // 1 to 16 bytes
  uint8_t dataIn = kScsiDataUnspecified;
  uint32_t transferLength = 0;
  uint32_t timeoutSeconds = 60;
  uint64_t dataAddress = 0;
  uint8_t targetId = 0;
};

using SptdRequest = std::array<uint8_t, kSptdRequestBytes>;

// The request for fields; nullopt when the CDB is empty or longer than 16 bytes.
std::optional<SptdRequest> BuildSptd(const SptdFields& fields);

struct SptdReply {
  uint8_t scsiStatus = 0;
  uint8_t senseLength = 0;  // sense bytes the port returned, at most kSptdSenseBytes
  uint32_t transferred = 0;
  std::span<const uint8_t> sense;  // inside the request buffer, senseLength bytes
};

SptdReply ReadSptd(const SptdRequest& request);

// --- ATA_PASS_THROUGH_DIRECT ----------------------------------------------------------------

inline constexpr size_t kAptdBytes = 48;  // sizeof(ATA_PASS_THROUGH_DIRECT) on x64

// ATA_PASS_THROUGH_DIRECT.AtaFlags
inline constexpr uint16_t kAtaFlagDrdyRequired = 0x01;
inline constexpr uint16_t kAtaFlagDataIn = 0x02;
inline constexpr uint16_t kAtaFlagDataOut = 0x04;
inline constexpr uint16_t kAtaFlag48Bit = 0x08;
inline constexpr uint16_t kAtaFlagUseDma = 0x10;

// Device ready plus the data direction for transfers, nothing for non-data commands; 48-bit and DMA
// from the registers.
uint16_t AtaFlagsOf(const AtaRegisters& regs, DataDirection direction);

using AptdRequest = std::array<uint8_t, kAptdBytes>;

// The current task file gets features, count, LBA low/mid/high, device and command; the previous
// task file gets the "Exp" registers of a 48-bit command (zero for a 28-bit one).
AptdRequest BuildAptd(const AtaRegisters& regs, DataDirection direction, uint32_t transferLength,
                      uint32_t timeoutSeconds, uint64_t dataAddress);

// Copies the returned task files into regs (error into features, status into command).
void ReadAptd(const AptdRequest& reply, AtaRegisters& regs);

// --- SRB_IO_CONTROL and the miniport NVMe blocks ----------------------------------------------

inline constexpr size_t kSrbIoControlBytes = 28;

struct SrbHeader {
  std::array<char, 8> signature{};
  uint32_t timeoutSeconds = 0;
  uint32_t controlCode = 0;
};

// Writes SRB_IO_CONTROL at the start of request: HeaderLength 28, the signature, timeout, control
// code, ReturnCode 0 and Length = request size - 28.
void PutSrbIoControl(std::span<uint8_t> request, const SrbHeader& header);

// SRB_IO_CONTROL.ReturnCode of a completed request.
uint32_t SrbReturnCode(std::span<const uint8_t> reply);

inline constexpr size_t kNvmeEntryBytes = 64;

// Intel RST NVMe pass-through ("IntelNvm", F0002808h): length + 167 bytes, data from byte 164.
inline constexpr size_t kRstNvmeDataOffset = 164;
inline constexpr size_t kRstNvmeExtraBytes = 167;
inline constexpr uint32_t kRstNvmeControlCode = 0xF0002808;
inline constexpr uint32_t kRstNvmeTimeoutSeconds = 40;

std::vector<uint8_t> BuildRstNvme(uint8_t pathId, NvmeQueue queue,
                                  std::span<const uint8_t, kNvmeEntryBytes> entry,
                                  std::span<const uint8_t> data);

// DW0 and status (phase bit removed) of the completion entry; for data in, the data area. (The
// block carries no direction: the driver takes it from the opcode and moves the area both ways.)
void ReadRstNvme(std::span<const uint8_t> reply, DataDirection direction, std::span<uint8_t> data,
                 NvmeCompletion& completion);

// Intel RST firmware requests ("IntelFw ", F0000040h, 200 s): one chunk of an image at a byte
// offset, and the activation (which carries no slot or action).
inline constexpr uint32_t kRstFirmwareControlCode = 0xF0000040;
inline constexpr uint32_t kRstFirmwareTimeoutSeconds = 200;
inline constexpr size_t kRstFirmwareImageOffset = 88;
inline constexpr size_t kRstFirmwareActivateBytes = 4184;

std::vector<uint8_t> BuildRstFirmwareDownload(uint8_t pathId, uint32_t offset,
                                              std::span<const uint8_t> image);
std::vector<uint8_t> BuildRstFirmwareActivate(uint8_t pathId);

// Community NVMe miniport pass-through ("NvmeMini", E0002000h): length + 152 bytes, data from 152.
inline constexpr size_t kCommunityNvmeDataOffset = 152;
inline constexpr uint32_t kCommunityNvmeControlCode = 0xE0002000;
inline constexpr uint32_t kCommunityNvmeTimeoutSeconds = 40;

// The block's direction word: 0 none, 1 host to device, 2 device to host.
uint32_t CommunityDirectionOf(DataDirection direction);

std::vector<uint8_t> BuildCommunityNvme(NvmeQueue queue, std::span<const uint8_t, kNvmeEntryBytes> entry,
                                        DataDirection direction, std::span<const uint8_t> data);

// DW0 and status (phase bit removed) of the completion entry; for data in, the data area.
void ReadCommunityNvme(std::span<const uint8_t> reply, DataDirection direction, std::span<uint8_t> data,
                       NvmeCompletion& completion);

}  // namespace kestrune::platform::winio
