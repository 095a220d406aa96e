// Finding a disk again after re-enumeration or a reboot: by its device path, or by its identity
// (SAS and SATA disks by their SCSI address, all others by controller location and driver path).
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "disk/disk_entry.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::disk {

// Whether candidate has wanted's identity: for a SAS or SATA bus (10, 11) the same bus type,
// pathId, targetLun and entry kind; for every other bus the same bus type, location, entry kind
// and disk kind.
bool SameIdentity(const DiskEntry& wanted, const DiskEntry& candidate);

// The first entry of list with wanted's identity, or -1. A system disk is taken only with
// allowSystemDisk: a re-found test disk must never turn into the disk the system runs from.
int FindByIdentity(const std::vector<DiskEntry>& list, const DiskEntry& wanted, bool allowSystemDisk);

// The first entry whose devicePath equals path (any case), or -1.
int FindByDevicePath(const std::vector<DiskEntry>& list, std::string_view path);

// A DiskIdentity text "busType-pathId-location-targetLun-entryKind-diskKind" as an entry holding
// those six fields; nullopt unless it is exactly six decimal numbers in range.
std::optional<DiskEntry> ParseIdentity(std::string_view text);

// Rebuilds the list and makes the entry with devicePath, or (without one) the entry with the current
// disk's identity, the current disk; its identity is then refreshed. The system disk is found by
// identity only when the current disk already was the system disk. False when nothing matches.
bool FindCurrentDiskAgain(engine::Interpreter& interp,
                          std::optional<std::string_view> devicePath = std::nullopt);

// Rebuilds the list and selects the disk of a DiskIdentity text as FindCurrentDiskAgain does,
// never the system disk. False for a malformed text or when nothing matches.
bool SelectDiskByIdentity(engine::Interpreter& interp, std::string_view identity);

// A copy of the first entry whose volumeLetters contains letters (any case); nullopt for none or
// for an empty text.
std::optional<DiskEntry> EntryByLetter(const std::vector<DiskEntry>& list, std::string_view letters);

}  // namespace kestrune::disk
