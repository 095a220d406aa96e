// The package's target filter: which disks a script may be run on at all (by identify model,
// protocol and the maker's controller id).
#pragma once

#include "disk/disk_entry.h"
#include "disk/disk_state.h"
#include "disk/identity_refresh.h"

namespace kestrune::disk {

// The SoC filter value that accepts every disk of the maker, whatever its controller.
inline constexpr std::string_view kMakerSocFilter = "VALDRIMO";

// In order: a model filter other than "" and "**" needs the drive's identify model to occur in it
// (a disk that did not answer identify fails); protocol 1 takes kinds 1-2, protocol 2 kinds 10-17
// except 15; the SoC filter "_WithOutDrv" or "*" takes any disk, otherwise socId must be known
// (identified through refresh when needed) and, unless the filter is kMakerSocFilter, its "%04X"
// must occur in the filter.
bool PassesTargetFilter(const TargetFilter& filter, DiskEntry& entry, const IdentityRefresher& refresh);

}  // namespace kestrune::disk
