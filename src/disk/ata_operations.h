// The ATA operations of a SATA disk on top of AtaSend: the general ATA command with its echo line
// and its IDLE IMMEDIATE recovery, sector reads and writes by ATA command, IDENTIFY DEVICE and its
// summary, the security-frozen probe and the microcode activation. Each operation opens its path
// through the target, sends, and closes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "disk/ata_identity.h"
#include "disk/ata_send.h"
#include "disk/device_target.h"
#include "disk/disk_entry.h"

namespace kestrune::disk {

inline constexpr uint8_t kAtaIdleImmediate = 0xE1;
inline constexpr uint8_t kAtaStandbyImmediate = 0xE0;
inline constexpr uint8_t kAtaDownloadMicrocode = 0x92;

// "ATA( IO:\"%s\", ATACmd:0x%X, Feature:%d, SectorCount:%d, Low:0x%X, ... );" of a task file.
std::string AtaEchoText(const AtaTaskFile& tf);

// Sends tf with data (empty for non-data commands) on disk.devicePath. 1 on success; -1 when the
// path does not open; -2 when the transfer cannot go out as stated (CheckTransfer); on a failed send
// IDLE IMMEDIATE goes out on the same handle as a recovery step and the result is -4 for data out,
// -3 for data in, -1 otherwise.
int32_t AtaCommand(DeviceTarget target, const DiskEntry& disk, const AtaTaskFile& tf, std::span<uint8_t> data,
                   uint32_t timeoutSeconds = kAtaTimeoutSeconds);

// command with flags, feature 0 and count sectors at lba on disk.physicalPath; buffer holds the
// transfer. 1, -3 (read) / -4 (write) on a failed send, -2 as AtaCommand, -1 when the path does not open.
int32_t AtaReadSectors(DeviceTarget target, const DiskEntry& disk, uint8_t command, uint16_t flags,
                       uint64_t lba, uint32_t count, std::span<uint8_t> buffer);
int32_t AtaWriteSectors(DeviceTarget target, const DiskEntry& disk, uint8_t command, uint16_t flags,
                        uint64_t lba, uint32_t count, std::span<uint8_t> buffer);

// IDENTIFY DEVICE (flags 3, 512 bytes) on disk.devicePath into data (at least 512 bytes). 1, -3 when
// the command fails, -1 when the path does not open.
int32_t AtaIdentifyData(DeviceTarget target, const DiskEntry& disk, std::span<uint8_t> data);
// The same, summarised.
int32_t AtaIdentify(DeviceTarget target, const DiskEntry& disk, AtaIdentity& out);

// Word 128 bit 3 of IDENTIFY DEVICE (0 or 1); -1 when the command fails.
int32_t AtaSecurityFrozen(DeviceTarget target, const DiskEntry& disk);

// DOWNLOAD MICROCODE with feature 0Fh (activate), no data. 1, or -6.
int32_t AtaActivateMicrocode(DeviceTarget target, const DiskEntry& disk);

}  // namespace kestrune::disk
