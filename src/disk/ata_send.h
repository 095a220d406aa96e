// AtaSend: the one routine every ATA command of a SATA disk goes through. It tries the system's ATA
// pass-through (the ATA route) and falls back to the SCSI ATA PASS-THROUGH commands of the SCSI/ATA
// translation (the SAT route), which is the only route behind a USB bridge or on a SAS bus (kind 2).
// On Linux the system has no ATA task-file route for SATA disks: its Device::Ata answers "not
// supported" and everything goes through SG_IO with the SAT CDBs.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "disk/ata_task_file.h"
#include "disk/disk_kind.h"
#include "platform/device.h"

namespace kestrune::disk {

inline constexpr uint32_t kAtaTimeoutSeconds = 60;

// What a route made of one command.
enum class AtaRouteResult : uint8_t {
  kDone,         // the device completed the command without error
  kDeviceError,  // the device answered with ERR (or DF, or DRQ still set)
  kUnavailable,  // the route does not exist on this handle
  kFailed,       // the request failed on its way (refused, timed out, lost)
};

// The SAT CDB of a task file: ATA PASS-THROUGH(16) for a 48-bit command (EXTEND set), else
// ATA PASS-THROUGH(12). The PROTOCOL is non-data, PIO in/out, or DMA when the flags ask for it.
std::vector<uint8_t> SatCdbOf(const AtaTaskFile& tf);

// One route each. data holds the transfer (empty for non-data commands).
AtaRouteResult SendAtaRoute(platform::Device& device, const AtaTaskFile& tf, std::span<uint8_t> data,
                            uint32_t timeoutSeconds = kAtaTimeoutSeconds);
AtaRouteResult SendSatRoute(platform::Device& device, const AtaTaskFile& tf, std::span<uint8_t> data,
                            uint32_t timeoutSeconds = kAtaTimeoutSeconds);

// Commands that must never be sent twice: the security commands (F1h-F6h), whose failed tries count
// against the drive's password attempts, and DOWNLOAD MICROCODE (92h). After the ATA route they go
// to the SAT route only when the ATA route does not exist.
bool SentOnceOnly(uint8_t command);

// The send routine: unless the kind is 2 ("USBATA"), the ATA route first; when it did not complete
// the command, the SAT route (see SentOnceOnly for the exceptions). True when a route completed the
// command without error.
bool AtaSend(DiskKind kind, platform::Device& device, const AtaTaskFile& tf, std::span<uint8_t> data,
             uint32_t timeoutSeconds = kAtaTimeoutSeconds);

}  // namespace kestrune::disk
