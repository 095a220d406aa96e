// DiskKind: the driver path through which commands reach a disk, decided once at enumeration.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrune::disk {

enum class DiskKind : uint8_t {
  kUnclassified = 0,
  kAta = 1,         // SATA disk on a SATA bus
  kUsbAta = 2,      // SATA disk on SAS or behind a USB-to-SATA bridge (SCSI ATA pass-through only)
  kNvm = 10,        // NVMe on the system's own NVMe driver
  kOfaNvm = 11,     // NVMe on another NVMe miniport (community interface)
  kIrstNvm = 12,    // NVMe behind Intel Rapid Storage Technology
  kJmi = 13,        // NVMe behind a JMicron USB bridge
  kAsm2362 = 14,    // NVMe behind an ASMedia ASM2362 USB bridge
  kAsm2364 = 15,    // NVMe behind an ASMedia ASM2364 USB bridge
  kRtl9210B = 16,   // NVMe behind a Realtek RTL9210B USB bridge
  kRtl9210 = 17,    // NVMe behind a Realtek RTL9210 USB bridge
  kRaid = 20,       // software RAID volume
  kFlashDrive = 21, // other USB mass storage
};

// The short name DiskList prints ("-", "ATA", "USBATA", "NVM", ...).
std::string_view ShortName(DiskKind kind);

inline bool IsNvmeKind(DiskKind k) { return static_cast<int>(k) >= 10 && static_cast<int>(k) <= 17; }
inline bool IsSataKind(DiskKind k) { return k == DiskKind::kAta || k == DiskKind::kUsbAta; }
inline bool IsUsbBridgeNvme(DiskKind k) { return static_cast<int>(k) >= 13 && static_cast<int>(k) <= 17; }

}  // namespace kestrune::disk
