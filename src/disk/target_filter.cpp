#include "disk/target_filter.h"

#include "base/text.h"

namespace kestrune::disk {

bool PassesTargetFilter(const TargetFilter& filter, DiskEntry& entry, const IdentityRefresher& refresh) {
  if (!filter.model.empty() && filter.model != "**") {
    if (!entry.identifyAnswered || entry.model.empty()) return false;
    if (!base::ContainsNoCase(filter.model, entry.model)) return false;
  }
  if (filter.protocol == 1 && !IsSataKind(entry.diskKind)) return false;
  if (filter.protocol == 2 && (!IsNvmeKind(entry.diskKind) || entry.diskKind == DiskKind::kAsm2364))
    return false;

  if (base::EqualsNoCase(filter.socId, "_WithOutDrv") || filter.socId == "*") return true;
  uint32_t socId = SocIdOf(entry, refresh);
  if (socId == 0) return false;
  if (base::EqualsNoCase(filter.socId, kMakerSocFilter)) return true;
  return base::ContainsNoCase(filter.socId, base::Format("%04X", socId));
}

}  // namespace kestrune::disk
