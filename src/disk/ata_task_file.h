// AtaTaskFile: one ATA command as the program states it (command, features, sector count, the six
// LBA registers and the pass-through flags), the 48-bit command set, and the registers it turns
// into on the wire. Pure rules and bytes; the send routine is in ata_send.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/device.h"

namespace kestrune::disk {

// Pass-through flags of a task file (the same bits as ATA_PASS_THROUGH_DIRECT.AtaFlags).
namespace ata_flag {
inline constexpr uint16_t kDeviceReady = 1;
inline constexpr uint16_t kDataIn = 2;
inline constexpr uint16_t kDataOut = 4;
inline constexpr uint16_t k48Bit = 8;  // set by the send routine for the 48-bit command set
inline constexpr uint16_t kUseDma = 16;
// The flag values callers use: no data, PIO in/out, DMA in/out.
inline constexpr uint16_t kNoData = 0;
inline constexpr uint16_t kPioIn = kDeviceReady | kDataIn;    // 3
inline constexpr uint16_t kPioOut = kDeviceReady | kDataOut;  // 5
inline constexpr uint16_t kDmaIn = kPioIn | kUseDma;          // 19
inline constexpr uint16_t kDmaOut = kPioOut | kUseDma;        // 21
}  // namespace ata_flag

inline constexpr uint32_t kAtaSectorBytes = 512;
inline constexpr uint32_t kMaxSectors28 = 256;
inline constexpr uint32_t kMaxSectors48 = 65536;
inline constexpr uint64_t kLba28Limit = uint64_t{1} << 28;
inline constexpr uint64_t kLba48Limit = uint64_t{1} << 48;

struct AtaTaskFile {
  uint8_t command = 0;
  uint16_t feature = 0;      // the high byte goes out only with a 48-bit command
  uint32_t sectorCount = 0;  // sectors; a transfer of 256 (28-bit) or 65,536 (48-bit) goes out as 0
  uint8_t lbaLow = 0, lbaMid = 0, lbaHigh = 0;  // LBA bits 0-7, 8-15, 16-23
  uint8_t exLow = 0, exMid = 0, exHigh = 0;     // LBA bits 24-31, 32-39, 40-47
  uint16_t flags = ata_flag::kNoData;

  uint64_t Lba() const;
  void SetLba(uint64_t lba);
};

// A task file of command with flags, LBA and count, feature 0.
AtaTaskFile TaskFile(uint8_t command, uint16_t flags, uint64_t lba = 0, uint32_t sectorCount = 0,
                     uint16_t feature = 0);

// 24h-26h, 29h, 34h-36h, 39h, 3Dh, 3Eh, C1h-C3h, CEh and FEh; every other command goes out in
// 28-bit form.
bool Is48BitCommand(uint8_t command);

// The direction of the data by the flags (data in wins over data out).
platform::DataDirection DirectionOf(uint16_t flags);

// The echo name of the flags: "IN", "OUT" or "NODATA".
std::string_view IoNameOf(uint16_t flags);

// Whether a data transfer can go out as stated: 0, or -2 for a count of 0 or above 256 (28-bit) or
// 65,536 (48-bit), a 28-bit LBA at or past 2^28, or an LBA range that ends past 2^48. Commands
// without data always pass.
int32_t CheckTransfer(const AtaTaskFile& tf);

// The registers the task file goes out as. 48-bit commands: extended, the high bytes of features and
// count and LBA bits 24-47 in the "previous" registers, device 40h. 28-bit commands: device 40h with
// LBA bits 24-27 in its low nibble. dma from the flags.
platform::AtaRegisters RegistersOf(const AtaTaskFile& tf);

}  // namespace kestrune::disk
