// Sending the identify command of a disk's driver path while the list is built: Identify
// Controller for NVMe kinds, IDENTIFY DEVICE for SATA kinds.
#pragma once

#include <optional>
#include <span>

#include "disk/disk_entry.h"
#include "disk/identify_data.h"
#include "platform/device.h"

namespace kestrune::disk {

inline constexpr uint32_t kIdentifyTimeoutSeconds = 60;

// ATA PASS-THROUGH(16) carrying IDENTIFY DEVICE (ECh, PIO data-in, one 512-byte block).
std::array<uint8_t, 16> SatIdentifyCdb();

// IDENTIFY DEVICE through the system's ATA pass-through. True when the command completed without
// the error or data-request bit in the status register; data gets kAtaIdentifyBytes.
bool AtaIdentifyDirect(platform::Device& device, std::span<uint8_t> data);

// IDENTIFY DEVICE through SCSI ATA PASS-THROUGH(16). True when the request completed with GOOD status.
bool AtaIdentifyThroughSat(platform::Device& device, std::span<uint8_t> data);

// Identify Controller on an NVMe route. True when the controller completed it successfully.
bool NvmeIdentifyController(platform::Device& device, platform::NvmeRoute route, std::span<uint8_t> data);

// The path Identify is sent on for an NVMe kind: the disk itself for the inbox driver, the SCSI
// port for the miniports (the disk when it has no SCSI address), the first volume for the bridges
// (the disk when it has none).
const std::string& NvmeIdentifyPath(const DiskEntry& entry);

// The identity of the drive as its driver path gives it; nullopt when the path does not open, the
// command fails, or the kind has no identify command (RAID, flash drives, unclassified).
std::optional<DriveIdentity> IdentifyDrive(platform::DeviceTree& tree, const DiskEntry& entry);

}  // namespace kestrune::disk
