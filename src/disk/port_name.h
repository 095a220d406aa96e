// Port names: the stable label of where a disk is plugged in (SATA2, USB-3, PCIE-03:00.0), and the
// port key under which PortMap.ini renames it.
#pragma once

#include <string>
#include <string_view>

#include "disk/disk_entry.h"
#include "disk/port_map.h"

namespace kestrune::disk {

inline constexpr std::string_view kHiddenPortName = "x";

// True for the kinds that have a port name of their own (1, 2, 10-17, 21).
bool HasOwnPortName(DiskKind kind);

// The name from the disk's own data, before any mapping: kind 1 "SATA%d" (pathId) or "SATA%d-%d"
// (pathId, targetLun) when targetLun is not 0; kinds 2, 13-17, 21 "USB-%d" (location % 100);
// kinds 10-12 "PCIE-%02X:%02X.%X" (bus, device, function of location); "-" otherwise.
std::string ComputedPortName(const DiskEntry& entry);

// "cmd%02X_scsi%02X%02X_Parent%04X" with diskKind, pathId, targetLun, location.
std::string PortKey(const DiskEntry& entry);

// The port name as lists show it: the PortMap.ini name of the port key when there is one,
// else the computed name.
std::string PortName(const DiskEntry& entry, const PortMap& map);

// True for the mapped name that hides a disk ("x", any case).
bool IsHiddenPortName(std::string_view name);

}  // namespace kestrune::disk
