// RefreshIdentity: the maker's identification of a disk (its controller id socId, configType,
// vendorAux, vendorVariant and currentFirmware), which the vendor layer provides. Selectors and
// filters ask for it lazily, the first time they need socId.
#pragma once

#include <functional>

#include "disk/disk_entry.h"

namespace kestrune::disk {

using IdentityRefresher = std::function<void(DiskEntry&)>;

// Runs the identification for NVMe and SATA kinds; other kinds, or no refresher, change nothing.
inline void RefreshIdentity(DiskEntry& entry, const IdentityRefresher& refresh) {
  if (refresh && (IsNvmeKind(entry.diskKind) || IsSataKind(entry.diskKind))) refresh(entry);
}

// socId, identifying the disk first when it is not known yet.
inline uint32_t SocIdOf(DiskEntry& entry, const IdentityRefresher& refresh) {
  if (entry.socId == 0 && !entry.vendorIdentified) RefreshIdentity(entry, refresh);
  return entry.socId;
}

}  // namespace kestrune::disk
