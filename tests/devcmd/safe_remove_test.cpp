// SafeRemoveNVMe against a device tree whose removals can be refused or leave the disk in place.
#include <gtest/gtest.h>

#include "devcmd/nvme_commands.h"
#include "disk/disk_fixture.h"
#include "disk/disk_list.h"

namespace kestrune::devcmd {
namespace {

class SafeRemove : public disk::testing::DiskFixture {
 protected:
  SafeRemove() {
    EXPECT_TRUE(RegisterNvmeCommands(interp).empty());
    // The system volume lives on the SATA disk, so the NVMe controller may be removed.
    tree.snapshot.volumes[0].diskNumber = 1;
    disk::RebuildDiskList(state());
    for (const disk::DiskEntry& e : state().list)
      if (e.devicePath == disk::testing::kNvmePath) disk::SetCurrentDisk(interp, e);
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    for (const engine::OutputLine& l : printed)
      if (l.header == 0 && !l.text.starts_with("Elapsed")) out.push_back(l.text);
    return out;
  }
};

TEST_F(SafeRemove, RefusedRemovalIsAnError) {
  Run("SafeRemoveNVMe();");
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().first, -255);
  EXPECT_EQ(reports.back().second, "Error. Remove NVMe Fail");
  EXPECT_EQ(Lines()[0], "Remove Disk & Parent Controller Driver");
}

TEST_F(SafeRemove, DiskThatStaysAfterFiveRemovalsIsNotReportedRemovable) {
  tree.removableNodes.insert(state().current.controllerInstanceId);
  tree.removableNodes.insert(disk::testing::kNvmePath);
  Run("SafeRemoveNVMe();");
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().first, -75);
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Remove Disk & Parent Controller Driver"), 5);
  EXPECT_EQ(std::find(lines.begin(), lines.end(), "You can safely remove the device"), lines.end());
}

}  // namespace
}  // namespace kestrune::devcmd
