// BuildDiskList over the fake lab, re-finding disks, and node control.
#include "disk/disk_list.h"

#include <gtest/gtest.h>

#include "disk/disk_find.h"
#include "disk/node_control.h"
#include "disk/wait_disk.h"
#include "disk_fixture.h"

namespace kestrune::disk {
namespace {

using testing::DiskFixture;
using testing::kNvmePath;
using testing::kSataPath;

class DiskListTest : public DiskFixture {
 protected:
  std::vector<DiskEntry> Build() {
    std::vector<DiskEntry> list;
    EXPECT_EQ(BuildDiskList(tree, list), 6);
    return list;
  }
};

TEST_F(DiskListTest, DisksTheirVolumesAndSoftwareRaid) {
  std::vector<DiskEntry> list = Build();
  ASSERT_EQ(list.size(), 6u);
  const DiskEntry& nvme = list[0];
  EXPECT_EQ(nvme.entryKind, EntryKind::kPhysical);
  EXPECT_EQ(nvme.diskKind, DiskKind::kNvm);
  EXPECT_EQ(nvme.model, "KX NVMe 512G");
  EXPECT_EQ(nvme.displayName, "KX NVMe 512G");
  EXPECT_EQ(nvme.firmwareRevision, "1.2A");
  EXPECT_EQ(nvme.currentFirmware, "1.2A");
  EXPECT_EQ(nvme.pciVendorId, 0x1E4Bu);
  EXPECT_EQ(nvme.location, 0x0300u);
  EXPECT_EQ(nvme.devicePath, kNvmePath);
  EXPECT_EQ(nvme.physicalPath, kNvmePath);
  EXPECT_EQ(nvme.scsiPortPath, "\\\\.\\scsi0:");
  EXPECT_EQ(nvme.volumeLetters, "C: D: ");
  EXPECT_EQ(nvme.volumePath, "\\\\.\\C:");
  EXPECT_FALSE(nvme.raw);
  EXPECT_TRUE(nvme.systemDisk);
  EXPECT_EQ(nvme.controllerName, "Standard NVM Express Controller");
  EXPECT_TRUE(nvme.identifyAnswered);

  const DiskEntry& c = list[1];
  EXPECT_EQ(c.entryKind, EntryKind::kVolume);
  EXPECT_EQ(c.displayName, "[C:] - 4K Aligned");
  EXPECT_EQ(c.devicePath, "\\\\.\\C:");
  EXPECT_EQ(c.physicalPath, kNvmePath);
  EXPECT_EQ(c.volumeLetters, "C:");
  EXPECT_EQ(c.volumePath, "");
  EXPECT_EQ(c.usableBytes, 100000000000ULL);
  EXPECT_EQ(c.totalBytes, 300000000000ULL);
  EXPECT_TRUE(c.aligned4K);
  EXPECT_EQ(c.model, "KX NVMe 512G");  // copied from its disk
  EXPECT_EQ(list[2].displayName, "[D:] - Non 4K Align");
  EXPECT_FALSE(list[2].aligned4K);

  const DiskEntry& sata = list[3];
  EXPECT_EQ(sata.diskKind, DiskKind::kAta);
  EXPECT_EQ(sata.model, "KX SATA 256G");
  EXPECT_EQ(sata.firmwareRevision, "S1.0");
  EXPECT_EQ(sata.pciVendorId, 0u);
  EXPECT_EQ(sata.pathId, 2u);
  EXPECT_EQ(sata.location, 2u);  // AHCI: the high half of the bus address
  EXPECT_TRUE(sata.raw);
  EXPECT_FALSE(sata.systemDisk);
  EXPECT_EQ(sata.volumeLetters, "");

  const DiskEntry& raid = list[4];
  EXPECT_EQ(raid.diskKind, DiskKind::kRaid);
  EXPECT_EQ(raid.busType, platform::bus::kRaid);
  EXPECT_EQ(raid.model, "Windows SW RAID");
  EXPECT_EQ(raid.controllerName, "Windows SW RAID");
  EXPECT_EQ(raid.volumeLetters, "E: ");
  EXPECT_EQ(raid.devicePath, "\\\\.\\E:");
  EXPECT_EQ(raid.sectorSize, 512u);
  EXPECT_EQ(raid.totalBytes, 2000000000000ULL);
  EXPECT_FALSE(raid.raw);
  EXPECT_EQ(list[5].displayName, "[E:] - 4K Aligned");  // the RAID volume is listed like any other
  EXPECT_EQ(list[5].physicalPath, "\\\\.\\E:");
}

TEST_F(DiskListTest, IdentifyGoesThroughTheKindsRoute) {
  Build();
  EXPECT_NE(std::find(tree.requests.begin(), tree.requests.end(), "nvme 0 " + kNvmePath),
            tree.requests.end());
  EXPECT_NE(std::find(tree.requests.begin(), tree.requests.end(), "ata " + kSataPath), tree.requests.end());

  // Intel RST: the miniport route on the SCSI port.
  tree.snapshot.disks[0].parent.driverService = "iaStorAC";
  tree.disks["\\\\.\\scsi0:"] = tree.disks[kNvmePath];
  tree.disks["\\\\.\\scsi0:"].nvmeRoute = platform::NvmeRoute::kRstMiniport;
  std::vector<DiskEntry> list = Build();
  EXPECT_EQ(list[0].diskKind, DiskKind::kIrstNvm);
  EXPECT_EQ(list[0].model, "KX NVMe 512G");
  EXPECT_NE(std::find(tree.requests.begin(), tree.requests.end(), "nvme 1 \\\\.\\scsi0:"),
            tree.requests.end());
}

TEST_F(DiskListTest, UnansweredIdentifyKeepsTheSystemsName) {
  tree.disks[kNvmePath].nvmeIdentify.reset();
  tree.disks[kSataPath].ataStatus = 0x51;  // error bit: the SAT route is tried, and fails too
  std::vector<DiskEntry> list = Build();
  EXPECT_EQ(list[0].model, "NVMe KX 512");
  EXPECT_EQ(list[0].firmwareRevision, "");
  EXPECT_EQ(list[0].pciVendorId, 0u);
  EXPECT_FALSE(list[0].identifyAnswered);
  EXPECT_EQ(list[3].model, "ATA KX SATA");

  tree.disks[kSataPath].satIdentify = testing::AtaIdentifyData("KX SATA 256G", "S1.1");
  EXPECT_EQ(Build()[3].firmwareRevision, "S1.1");
}

TEST_F(DiskListTest, MoreThanTheCapacityIsMinusOneAndNoEntries) {
  std::vector<DiskEntry> list;
  EXPECT_EQ(BuildDiskList(tree, list, 4), -1);
  EXPECT_TRUE(list.empty());
  tree.snapshot.volumes.clear();
  for (uint32_t i = 2; i < 27; ++i)
    tree.snapshot.disks.push_back(testing::Node(i, platform::bus::kSata, "storahci"));
  EXPECT_EQ(BuildDiskList(tree, list), -1);
  tree.snapshot.disks.pop_back();
  EXPECT_EQ(BuildDiskList(tree, list), 26);
}

TEST_F(DiskListTest, EntryByLetter) {
  std::vector<DiskEntry> list = Build();
  EXPECT_EQ(EntryByLetter(list, "d:")->devicePath, kNvmePath);  // the disk comes before its volumes
  EXPECT_EQ(EntryByLetter(list, "E:")->diskKind, DiskKind::kRaid);
  EXPECT_FALSE(EntryByLetter(list, "F:"));
  EXPECT_FALSE(EntryByLetter(list, ""));
}

TEST_F(DiskListTest, FindCurrentDiskAgainByPathAndByIdentity) {
  ASSERT_TRUE(FindCurrentDiskAgain(interp, kSataPath));
  EXPECT_EQ(state().current.model, "KX SATA 256G");
  EXPECT_EQ(interp.CurrentDiskType(), 1);

  // The SATA disk comes back as another drive number on the same port.
  platform::DeviceSnapshot moved = testing::LabSnapshot();
  moved.disks[1].deviceNumber = 4;
  moved.disks[1].physicalPath = "\\\\.\\PHYSICALDRIVE4";
  tree.later = {moved};
  tree.disks["\\\\.\\PHYSICALDRIVE4"] = tree.disks[kSataPath];
  ASSERT_TRUE(FindCurrentDiskAgain(interp));
  EXPECT_EQ(state().current.devicePath, "\\\\.\\PHYSICALDRIVE4");

  EXPECT_FALSE(FindCurrentDiskAgain(interp, "\\\\.\\PHYSICALDRIVE9"));
  EXPECT_EQ(state().current.devicePath, "\\\\.\\PHYSICALDRIVE4");  // unchanged
}

TEST_F(DiskListTest, ReFindingByIdentityNeverSwitchesToTheSystemDisk) {
  // The test disk is an NVMe drive at 03:00.0; it goes away, and a system disk with the same
  // identity (another enumeration shows the boot drive there) must not take its place.
  std::vector<DiskEntry> list = Build();
  DiskEntry test = list[0];
  test.systemDisk = false;
  SetCurrentDisk(interp, test);
  EXPECT_FALSE(FindCurrentDiskAgain(interp));
  EXPECT_EQ(state().current.devicePath, kNvmePath);
  EXPECT_FALSE(state().current.systemDisk);

  EXPECT_FALSE(SelectDiskByIdentity(interp, IdentityText(list[0])));

  // A run on the system disk itself finds it again.
  SetCurrentDisk(interp, list[0]);
  EXPECT_TRUE(FindCurrentDiskAgain(interp));
}

TEST_F(DiskListTest, SelectDiskByIdentity) {
  std::vector<DiskEntry> list = Build();
  EXPECT_EQ(IdentityText(list[3]), "11-2-2-0-1-1");
  ASSERT_TRUE(SelectDiskByIdentity(interp, "11-2-2-0-1-1"));
  EXPECT_EQ(state().current.devicePath, kSataPath);
  EXPECT_TRUE(SelectDiskByIdentity(interp, "11-2-99-0-1-7"));  // SATA: location and kind do not count
  for (const char* bad : {"11-2-2-0-1", "11-2-2-0-1-1-0", "11-2-x-0-1-1", "", "11-2-2-0-3-1", "11--2-0-1-1",
                          "11-2-2-0-1-256", "99999999999-2-2-0-1-1"})
    EXPECT_FALSE(SelectDiskByIdentity(interp, bad)) << bad;
  EXPECT_FALSE(SelectDiskByIdentity(interp, "17-0-768-0-1-10"));  // the system disk
}

TEST_F(DiskListTest, IdentityRefreshRunsAfterASelection) {
  int calls = 0;
  state().refreshIdentity = [&calls](DiskEntry& e) {
    ++calls;
    e.socId = 0x7301;
  };
  ASSERT_TRUE(FindCurrentDiskAgain(interp, kSataPath));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(state().current.socId, 0x7301u);
}

class NodeControlTest : public DiskFixture {
 protected:
  NodeControlTest() {
    // A second NVMe drive on its own controller, and a stray NVMe controller without a disk.
    platform::DiskNode second = testing::Node(2, platform::bus::kNvme, "stornvme");
    second.parent.instanceId = "PCI\\NVME2";
    tree.snapshot.disks.push_back(second);
    tree.snapshot.adapters.push_back({"PCI\\NVME2", "Standard NVM Express Controller", {2}});
    tree.snapshot.adapters.push_back({"PCI\\STRAY", "NVM Express Controller", {}});
    tree.snapshot.adapters.push_back({"PCI\\USB", "USB xHCI Controller", {}});
    for (const auto& a : tree.snapshot.adapters) tree.removableNodes.insert(a.instanceId);
    tree.removableNodes.insert("\\\\.\\PHYSICALDRIVE2");
    entry.physicalPath = "\\\\.\\PHYSICALDRIVE2";
    entry.controllerInstanceId = "PCI\\NVME2";
  }
  DiskEntry entry;
};

TEST_F(NodeControlTest, RemovesTheDiskItsParentAndStrayNvmeControllers) {
  platform::DeviceSnapshot after = tree.snapshot;
  after.disks.pop_back();
  after.adapters[2].childDiskNumbers.clear();
  tree.later = {after};
  EXPECT_TRUE(RemoveDiskNode(interp, entry));
  EXPECT_EQ(tree.removed, (std::vector<std::string>{"\\\\.\\PHYSICALDRIVE2", "PCI\\NVME2", "PCI\\STRAY"}));
}

TEST_F(NodeControlTest, APartialEnumerationNeverSweepsTheBootController) {
  // The snapshot after the removal lost every child list: each adapter looks empty.
  platform::DeviceSnapshot partial = tree.snapshot;
  partial.disks.clear();
  for (auto& a : partial.adapters) a.childDiskNumbers.clear();
  tree.later = {partial};
  EXPECT_TRUE(RemoveDiskNode(interp, entry));
  EXPECT_EQ(tree.removed, (std::vector<std::string>{"\\\\.\\PHYSICALDRIVE2", "PCI\\NVME2", "PCI\\STRAY"}));

  // Without a system disk in view at all, only the disk's own parent goes.
  tree.removed.clear();
  tree.snapshot = partial;
  tree.snapshot.volumes.clear();
  tree.later.clear();
  EXPECT_TRUE(RemoveDiskNode(interp, entry));
  EXPECT_EQ(tree.removed, (std::vector<std::string>{"\\\\.\\PHYSICALDRIVE2", "PCI\\NVME2"}));
}

TEST_F(NodeControlTest, TheSystemDisksControllerIsNeverRemoved) {
  DiskEntry system;
  system.physicalPath = kNvmePath;
  system.controllerInstanceId = tree.snapshot.disks[0].parent.instanceId;
  tree.removableNodes.insert(kNvmePath);
  RemoveDiskNode(interp, system);
  ASSERT_FALSE(tree.removed.empty());
  for (const std::string& node : tree.removed) EXPECT_NE(node, system.controllerInstanceId);
}

TEST_F(NodeControlTest, DiskRemovalIsRetriedThreeTimes) {
  tree.removableNodes.erase("\\\\.\\PHYSICALDRIVE2");
  uint64_t start = host.monotonic;
  RemoveDiskNode(interp, entry);
  EXPECT_EQ(host.monotonic - start, 3 * 3000u + 3000u);  // three pauses between four tries, then the settle
}

TEST_F(NodeControlTest, RescanRunsOneAtATime) {
  int notices = 0;
  state().diskListChanged = [&notices] { ++notices; };
  bool inner = true;
  tree.duringRescan = [&] { inner = Rescan(interp); };
  EXPECT_TRUE(Rescan(interp));
  EXPECT_FALSE(inner);  // a second caller returns at once
  EXPECT_EQ(tree.rescans, 1);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(host.monotonic, 1000u);
}

TEST_F(NodeControlTest, AnEnableGoesToTheParentTheDisableTook) {
  EXPECT_TRUE(SetParentEnabled(interp, entry, false));
  DiskEntry other;
  other.controllerInstanceId = "PCI\\OTHER";
  EXPECT_TRUE(SetParentEnabled(interp, other, true));
  EXPECT_EQ(tree.enabled,
            (std::vector<std::pair<std::string, bool>>{{"PCI\\NVME2", false}, {"PCI\\NVME2", true}}));
}

class WaitForDiskTest : public DiskFixture {};

TEST_F(WaitForDiskTest, CountsDownOnOneLineUntilTheDiskIsBack) {
  ASSERT_TRUE(FindCurrentDiskAgain(interp, kSataPath));
  platform::DeviceSnapshot gone = testing::LabSnapshot();
  gone.disks.pop_back();
  tree.later = {gone, gone, testing::LabSnapshot()};
  size_t before = interp.output(0)->lines.size();
  EXPECT_TRUE(WaitForDisk(interp, 0, 10));
  std::vector<std::string> texts;
  for (size_t i = before; i < interp.output(0)->lines.size(); ++i)
    texts.push_back(interp.output(0)->lines[i].text);
  EXPECT_EQ(texts, (std::vector<std::string>{"", "Find Disk : " + kSataPath}));
  EXPECT_EQ(interp.output(0)->lines[before].colour, engine::colour::kGrey);
  EXPECT_EQ(interp.output(0)->lines[before + 1].colour, engine::colour::kWhite);
  EXPECT_EQ(host.monotonic, 3000u);
}

TEST_F(WaitForDiskTest, TimesOutAfterNPlusOneTries) {
  ASSERT_TRUE(FindCurrentDiskAgain(interp, kSataPath));
  platform::DeviceSnapshot gone = testing::LabSnapshot();
  gone.disks.pop_back();
  tree.later = {gone};
  size_t before = interp.output(0)->lines.size();
  EXPECT_FALSE(WaitForDisk(interp, 0, 2));
  EXPECT_EQ(host.monotonic, 3000u);
  ASSERT_EQ(interp.output(0)->lines.size(), before + 2);
  EXPECT_EQ(interp.output(0)->lines[before].text, "Wait Disk Remain Timeout 0 sec");
  EXPECT_EQ(interp.output(0)->lines[before + 1].text, "TimeOut, Disk Disconnect");
  EXPECT_EQ(interp.output(0)->lines[before + 1].colour, engine::colour::kRed);
}

TEST_F(WaitForDiskTest, ACancelledRunStopsWaiting) {
  ASSERT_TRUE(FindCurrentDiskAgain(interp, kSataPath));
  interp.view(0).cancel = true;
  EXPECT_FALSE(WaitForDisk(interp, 0, 60));
  EXPECT_EQ(host.monotonic, 0u);
}

}  // namespace
}  // namespace kestrune::disk
