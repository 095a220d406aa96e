#include "disk/sector_session.h"

#include "base/text.h"

namespace kestrune::disk {

std::optional<uint64_t> ExtentOf(const DiskState& state, const DiskEntry& disk, const std::string& path) {
  auto known = [](uint64_t bytes) { return bytes != 0 ? std::optional<uint64_t>(bytes) : std::nullopt; };
  if (disk.entryKind == EntryKind::kPhysical) return known(disk.totalBytes);
  if (base::EqualsNoCase(path, disk.devicePath)) return known(disk.totalBytes);
  for (const DiskEntry& e : state.list)
    if (e.entryKind == EntryKind::kPhysical && base::EqualsNoCase(e.physicalPath, disk.physicalPath))
      return known(e.totalBytes);
  return std::nullopt;
}

}  // namespace kestrune::disk
