// The main window's rules that need no window: the disk combo box's captions, what the window does
// when a run has ended, and the status bar's start text.
#pragma once

#include <cstdint>
#include <string>

#include <vector>

#include "disk/disk_entry.h"
#include "disk/disk_state.h"
#include "platform/host.h"

namespace kestrune::app {

// A disk's caption in the combo box: "%s (RAW)" with the model for a disk without a partition, the
// entry's own name for a volume entry, otherwise "%s [%s]" with the model and its volume letters.
std::string DiskCaption(const disk::DiskEntry& entry);

// The indexes of the entries that pass the package's filter, in list order: the disks the window
// offers (the combo box, the disk selection dialog).
std::vector<size_t> CandidateDisks(const disk::TargetFilter& filter, std::vector<disk::DiskEntry>& entries,
                                   const disk::IdentityRefresher& refresh);

// What the window does when a run has ended, by UI mode and the view's last completion code.
struct AfterRun {
  bool showError = false;  // a message box with the error description ("Job Fail." when empty)
  bool close = false;      // the window closes
};
AfterRun WindowAfterRun(int uiMode, int32_t lastCode);

// The message box text of a run that ended with an error.
std::string JobFailText(const std::string& description);

// Status bar part 0 at a run's start: " %d-%02d-%02d %02d:%02d:%02d".
std::string RunStartText(const platform::LocalTime& t);

}  // namespace kestrune::app
