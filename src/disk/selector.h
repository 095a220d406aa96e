// Target selectors: how a command line or a script names the disk (or, with "/all/", the disks)
// to run on: "/model/NAME", "/fwver/NAME", "/port/NAME", "/vid/HEX", "/socid/HEX" (also written
// "\MODEL\NAME" and so on), "\VDDISK", "\NULLDisk", or the disk's path.
#pragma once

#include <string_view>

#include "disk/disk_entry.h"
#include "disk/identity_refresh.h"
#include "disk/port_map.h"

namespace kestrune::disk {

// Whether entry is a disk the selector names. socId is filled through refresh when a selector
// needs it (hence the entry is not const).
bool MatchTarget(std::string_view selector, DiskEntry& entry, const PortMap& portMap,
                 const IdentityRefresher& refresh);

// The wildcard compare of selectors: every "?" of pattern stands for the character of value at the
// same position; the rest compares without regard to case, and the lengths must agree.
bool WildcardEquals(std::string_view pattern, std::string_view value);

// True for the multi-disk forms: the selector contains "/all/" or "\\.\ALL\" (any case).
bool IsMultiDiskSelector(std::string_view selector);

}  // namespace kestrune::disk
