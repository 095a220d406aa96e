#include "app/window_rules.h"

#include "base/text.h"
#include "disk/target_filter.h"

namespace kestrune::app {

std::string DiskCaption(const disk::DiskEntry& entry) {
  if (entry.entryKind == disk::EntryKind::kVolume) return entry.displayName;
  if (entry.raw) return base::Format("%s (RAW)", entry.model.c_str());
  return base::Format("%s [%s]", entry.model.c_str(), std::string(base::Trim(entry.volumeLetters, true)).c_str());
}

std::vector<size_t> CandidateDisks(const disk::TargetFilter& filter, std::vector<disk::DiskEntry>& entries,
                                   const disk::IdentityRefresher& refresh) {
  std::vector<size_t> candidates;
  for (size_t i = 0; i < entries.size(); ++i)
    if (disk::PassesTargetFilter(filter, entries[i], refresh)) candidates.push_back(i);
  return candidates;
}

AfterRun WindowAfterRun(int uiMode, int32_t lastCode) {
  const bool failed = lastCode != 0;
  switch (uiMode) {
    case 1:
    case 3:
      return AfterRun{false, true};
    case 2:
      return failed ? AfterRun{true, false} : AfterRun{false, true};
    default:
      return AfterRun{failed, false};
  }
}

std::string JobFailText(const std::string& description) { return description.empty() ? "Job Fail." : description; }

std::string RunStartText(const platform::LocalTime& t) {
  return base::Format(" %d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

}  // namespace kestrune::app
