#include "disk/disk_entry.h"

#include "base/text.h"

namespace kestrune::disk {

std::string IdentityText(const DiskEntry& e) {
  return base::Format("%u-%u-%u-%u-%u-%u", e.busType, e.pathId, e.location, e.targetLun,
                        static_cast<unsigned>(e.entryKind), static_cast<unsigned>(e.diskKind));
}

}  // namespace kestrune::disk
