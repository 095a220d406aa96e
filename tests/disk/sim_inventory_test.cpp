// The inventory over the simulated default lab: the same code path as a real device tree.
#include <gtest/gtest.h>

#include "disk/disk_list.h"
#include "disk/port_name.h"
#include "sim/lab_description.h"
#include "sim/sim_lab.h"
#include "support/fake_host.h"

namespace kestrune::disk {
namespace {

TEST(SimInventory, DefaultLabListsItsNvmeAndSataDrives) {
  ::kestrune::testing::TempDir dir;
  ::kestrune::testing::FakeHost host;
  std::string error;
  std::unique_ptr<sim::SimLab> lab = sim::SimLab::Create(sim::DefaultLab(), dir.path(), host, error);
  ASSERT_TRUE(lab) << error;

  std::vector<DiskEntry> list;
  ASSERT_GE(BuildDiskList(*lab, list), 2);
  const DiskEntry& nvme = list[0];
  EXPECT_EQ(nvme.devicePath, "\\\\.\\PHYSICALDRIVE0");
  EXPECT_EQ(nvme.diskKind, DiskKind::kNvm);
  EXPECT_EQ(nvme.model, "KESTRUNE SIM NVME 4G");
  EXPECT_EQ(nvme.firmwareRevision, "SIMN0100");
  EXPECT_NE(nvme.pciVendorId, 0u);
  EXPECT_EQ(ComputedPortName(nvme), "PCIE-03:00.0");
  EXPECT_TRUE(nvme.raw);

  auto sata = std::find_if(list.begin(), list.end(),
                           [](const DiskEntry& e) { return e.devicePath == "\\\\.\\PHYSICALDRIVE1"; });
  ASSERT_NE(sata, list.end());
  EXPECT_EQ(sata->diskKind, DiskKind::kAta);
  EXPECT_EQ(sata->model, "KESTRUNE SIM SATA 2G");
  EXPECT_EQ(sata->firmwareRevision, "SIMS0100");
  EXPECT_EQ(ComputedPortName(*sata), "SATA2");
  EXPECT_EQ(sata->volumeLetters, "C: ");
  ASSERT_NE(sata + 1, list.end());
  EXPECT_EQ((sata + 1)->displayName, "[C:] - 4K Aligned");
}

}  // namespace
}  // namespace kestrune::disk
