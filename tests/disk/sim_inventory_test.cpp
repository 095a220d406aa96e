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

namespace kestrune::disk {
namespace {

// Drives behind every USB-to-NVMe bridge: identified through the bridge's own NVMe carriage, also
// when the bridge gives no signature in its INQUIRY answer (the probe then asks each bridge form).
TEST(SimInventory, BridgeDrivesAreIdentifiedThroughTheirBridges) {
  ::kestrune::testing::TempDir dir;
  ::kestrune::testing::FakeHost host;
  const sim::Attachment bridges[] = {sim::Attachment::kUsbJmicron, sim::Attachment::kUsbAsm2362,
                                     sim::Attachment::kUsbAsm2364, sim::Attachment::kUsbRtl9210B,
                                     sim::Attachment::kUsbRtl9210};
  sim::LabDescription lab;
  for (uint32_t n = 0; n < 2 * std::size(bridges); ++n) {
    sim::DriveDescription d;
    d.name = "B" + std::to_string(n);
    d.attachment = bridges[n % std::size(bridges)];
    d.deviceNumber = d.scsiPort = n;
    d.model = "BRIDGED " + std::to_string(n);
    d.serial = "S" + std::to_string(n);
    d.firmware = "BR" + std::to_string(n);
    d.pciVendorId = 0x1E4B;
    d.capacityBytes = uint64_t{8} << 20;
    d.usbPorts = {n + 1};
    d.inquiry = sim::DefaultInquiry(d.attachment, d.model, d.firmware);
    if (n >= std::size(bridges)) d.inquiry = {"USB", "Storage Device", "1.00", 0, 0};  // no signature
    lab.drives.push_back(d);
  }
  std::string error;
  std::unique_ptr<sim::SimLab> simLab = sim::SimLab::Create(lab, dir.path(), host, error);
  ASSERT_TRUE(simLab) << error;
  std::vector<DiskEntry> list;
  ASSERT_EQ(BuildDiskList(*simLab, list), static_cast<int>(lab.drives.size()));
  for (uint32_t n = 0; n < lab.drives.size(); ++n) {
    const DiskEntry& e = list[n];
    // Without a signature the probe's ASMedia answer says 2362; everything else finds its kind.
    const sim::Attachment a = lab.drives[n].attachment;
    const DiskKind expected = n >= std::size(bridges) && a == sim::Attachment::kUsbAsm2364 ? DiskKind::kAsm2362
                                                                                            : sim::ExpectedKind(a);
    EXPECT_EQ(e.diskKind, expected) << n;
    EXPECT_EQ(e.model, "BRIDGED " + std::to_string(n)) << n;
    EXPECT_EQ(e.firmwareRevision, "BR" + std::to_string(n)) << n;
    EXPECT_EQ(e.pciVendorId, 0x1E4Bu) << n;
    EXPECT_TRUE(e.identifyAnswered) << n;
  }
}

}  // namespace
}  // namespace kestrune::disk
