#include "disk/port_name.h"

#include "base/text.h"

namespace kestrune::disk {

bool HasOwnPortName(DiskKind kind) {
  return IsSataKind(kind) || IsNvmeKind(kind) || kind == DiskKind::kFlashDrive;
}

std::string ComputedPortName(const DiskEntry& e) {
  switch (e.diskKind) {
    case DiskKind::kAta:
      return e.targetLun != 0 ? base::Format("SATA%u-%u", e.pathId, e.targetLun)
                              : base::Format("SATA%u", e.pathId);
    case DiskKind::kNvm:
    case DiskKind::kOfaNvm:
    case DiskKind::kIrstNvm:
      return base::Format("PCIE-%02X:%02X.%X", (e.location >> 8) & 0xFF, (e.location & 0xFF) >> 3,
                            e.location & 7);
    default:
      if (HasOwnPortName(e.diskKind)) return base::Format("USB-%u", e.location % 100);
      return "-";
  }
}

std::string PortKey(const DiskEntry& e) {
  return base::Format("cmd%02X_scsi%02X%02X_Parent%04X", static_cast<unsigned>(e.diskKind), e.pathId,
                        e.targetLun, e.location);
}

std::string PortName(const DiskEntry& entry, const PortMap& map) {
  if (std::optional<std::string> mapped = map.NameFor(PortKey(entry))) return *mapped;
  return ComputedPortName(entry);
}

bool IsHiddenPortName(std::string_view name) { return base::EqualsNoCase(name, kHiddenPortName); }

}  // namespace kestrune::disk
