// DiskEntry: one storage target of the disk list (a physical disk or one of its volumes), and the
// identity that finds the same disk again after re-enumeration or a reboot.
#pragma once

#include <cstdint>
#include <string>

#include "disk/disk_kind.h"

namespace kestrune::disk {

inline constexpr size_t kMaxDiskEntries = 26;

enum class EntryKind : uint32_t { kPhysical = 1, kVolume = 2 };

struct DiskEntry {
  std::string displayName;           // what lists show (at most 127 characters)
  std::string model;                 // identify model, else the system's friendly name
  std::string devicePath;            // what sector I/O opens (the disk, or the volume of a volume entry)
  std::string scsiPortPath;          // "\\.\scsiN:" (Windows miniport pass-through); empty without SCSI address
  std::string physicalPath;          // the whole disk, also in volume entries
  std::string volumePath;            // the disk's first volume path; empty if none
  std::string volumeLetters;         // "C: D: " (volume entries: their own letter without the blank)
  std::string controllerName;
  std::string controllerInstanceId;
  std::string driverService;
  std::string driverVersion;         // "%d.%d.%d.%d"
  std::string controllerPath;        // Linux: the NVMe controller node for admin commands
  uint32_t namespaceId = 1;          // NVMe: the NSID that Identify Namespace reads; 1 when unknown
  uint32_t sectorSize = 0;
  uint32_t pathId = 0;
  uint32_t targetLun = 0;            // SCSI target id * 100 + LUN
  uint32_t location = 0;             // controller or port location (packing depends on the kind)
  uint32_t deviceNumber = 0;
  EntryKind entryKind = EntryKind::kPhysical;
  uint64_t usableBytes = 0;          // physical: the length; volume: its free bytes
  uint64_t totalBytes = 0;           // physical: the length; volume: its size
  uint32_t busType = 0;
  DiskKind diskKind = DiskKind::kUnclassified;
  bool raw = false;                  // a disk without volumes
  bool systemDisk = false;           // holds C: (Linux: "/", "/boot" or swap)
  bool aligned4K = true;
  uint32_t pciVendorId = 0;          // NVMe kinds: Identify Controller bytes 0-1
  uint32_t wwnOui = 0;               // SATA kinds: the OUI of the world wide name (IDENTIFY words 108-109)
  std::string firmwareRevision;      // identify firmware revision, trimmed
  std::string serial;                // identify serial number, trimmed; empty if the drive did not answer
  uint32_t socId = 0;                // the maker's controller id; 0 until identified
  uint32_t configType = 9999;        // 9999 = unknown
  uint32_t vendorAux = 0;
  uint32_t vendorVariant = 0;
  std::string currentFirmware;
  bool removable = false;
  bool identifyAnswered = false;     // the drive answered its identify command when the list was built
  bool vendorIdentified = false;     // the maker's identification ran for this list build
};

// The six numbers of a disk's identity, written "%d-%d-%d-%d-%d-%d":
// busType, pathId, location, targetLun, entryKind, diskKind.
std::string IdentityText(const DiskEntry& e);

}  // namespace kestrune::disk
