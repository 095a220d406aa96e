// The main window's rules without a window: captions of the disk combo box and whether the window
// stays after a run.
#include "app/window_rules.h"

#include <gtest/gtest.h>

namespace kestrune::app {
namespace {

TEST(WindowAfterRun, ByUiModeAndOutcome) {
  struct Row {
    int uiMode;
    int32_t code;
    bool showError, close;
  };
  const Row rows[] = {
      {0, 0, false, false}, {0, -2, true, false},  {0, 3, true, false},  // interactive: the window stays
      {1, 0, false, true},  {1, -255, false, true},                      // hidden: closes, no message
      {2, 0, false, true},  {2, -4, true, false},                        // unattended: stays to show a failure
      {3, 0, false, true},  {3, -4, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "UI mode " << row.uiMode << ", code " << row.code);
    AfterRun after = WindowAfterRun(row.uiMode, row.code);
    EXPECT_EQ(after.showError, row.showError);
    EXPECT_EQ(after.close, row.close);
  }
  EXPECT_EQ(JobFailText(""), "Job Fail.");
  EXPECT_EQ(JobFailText("Read IO Fail. LBA 7"), "Read IO Fail. LBA 7");
}

TEST(DiskCaption, RawDisksVolumesAndDisksWithPartitions) {
  disk::DiskEntry raw;
  raw.model = "KS NVMe 1TB";
  raw.raw = true;
  disk::DiskEntry parted = raw;
  parted.raw = false;
  parted.volumeLetters = "C: D: ";
  disk::DiskEntry volume = parted;
  volume.entryKind = disk::EntryKind::kVolume;
  volume.displayName = "[D:] - 4K Aligned";
  EXPECT_EQ(DiskCaption(raw), "KS NVMe 1TB (RAW)");
  EXPECT_EQ(DiskCaption(parted), "KS NVMe 1TB [C: D:]");
  EXPECT_EQ(DiskCaption(volume), "[D:] - 4K Aligned");
}

TEST(RunStartText, DateAndTimeWithALeadingBlank) {
  EXPECT_EQ(RunStartText(platform::LocalTime{2026, 3, 4, 5, 6, 7, 0}), " 2026-03-04 05:06:07");
}

}  // namespace
}  // namespace kestrune::app
