// A simulated NVMe drive that is namespace 2 of its controller, and the PCI Express link and root
// port the lab reports for a drive's controller.
#include <algorithm>

#include "disk/pci_link.h"
#include "nvme_model_fixture.h"
#include "sim/device_nodes.h"

namespace kestrune::sim {
namespace {

DriveDescription SecondNamespace() {
  DriveDescription d = SmallDrive("N", Attachment::kNvmeInbox, 0, 4096);
  d.namespaceId = 2;
  return d;
}

class SecondNamespaceModel : public NvmeModel {
 protected:
  SecondNamespaceModel() : NvmeModel(SecondNamespace()) {}
};

TEST_F(SecondNamespaceModel, OnlyItsOwnNsidAnswers) {
  std::vector<uint8_t> data(4096);
  struct Row {
    uint8_t opcode;
    uint32_t nsid;
    uint32_t cdw10;
    platform::NvmeQueue queue;
    uint16_t status;
  };
  constexpr auto kAdmin = platform::NvmeQueue::kAdmin;
  constexpr auto kIo = platform::NvmeQueue::kIo;
  const Row rows[] = {
      {0x06, 2, 0, kAdmin, 0x0000},           // Identify Namespace 2
      {0x06, 0xFFFFFFFF, 0, kAdmin, 0x0000},  // what every namespace shares
      {0x06, 1, 0, kAdmin, 0x000B},           // there is no namespace 1
      {0x06, 2, 3, kAdmin, 0x0000},           // its descriptors
      {0x06, 1, 3, kAdmin, 0x000B},
      {0x02, 2, 0, kIo, 0x0000},  // Read of LBA 0
      {0x02, 1, 0, kIo, 0x000B},
      {0x00, 2, 0, kIo, 0x0000},  // Flush
      {0x00, 1, 0, kIo, 0x000B},
  };
  for (const Row& r : rows) {
    const auto direction = r.opcode == 0x00 ? platform::DataDirection::kNone : platform::DataDirection::kIn;
    EXPECT_EQ(Send(r.opcode, r.nsid, {{10, r.cdw10}}, direction, data, r.queue), r.status)
        << "opcode " << int{r.opcode} << " nsid " << r.nsid << " cdw10 " << r.cdw10;
  }
}

TEST_F(SecondNamespaceModel, IdentifyCountsAndListsIt) {
  std::vector<uint8_t> data(4096);
  ASSERT_EQ(In(0x06, 0, {{10, 1}}, data), 0);
  EXPECT_EQ(base::GetLe32(&data[516]), 2u);  // NN: the highest NSID
  ASSERT_EQ(In(0x06, 0, {{10, 2}}, data), 0);
  EXPECT_EQ(base::GetLe32(&data[0]), 2u);
  EXPECT_EQ(base::GetLe32(&data[4]), 0u);
  ASSERT_EQ(In(0x06, 2, {{10, 2}}, data), 0);  // none above 2
  EXPECT_EQ(base::GetLe32(&data[0]), 0u);
  ASSERT_EQ(In(0x06, 2, {{10, 0}}, data), 0);
  EXPECT_EQ(base::GetLe64(&data[0]), (uint64_t{8} << 20) / 4096);
  EXPECT_EQ(data[26] & 0x0F, 1);  // the 4096-byte format

  platform::DeviceSnapshot s = t.lab->Enumerate();
  ASSERT_EQ(s.disks.size(), 1u);
  EXPECT_EQ(s.disks[0].namespaceId, 2u);
}

// An NVMe drive at (3,0,0) below the root port (0,28,0) on Gen3 x2 of a Gen4 x4 link, a SATA drive
// whose link the lab does not report, and a USB drive.
LabDescription LinkLab() {
  DriveDescription nvme = SmallDrive("N", Attachment::kNvmeInbox, 0);
  nvme.pciBus = 3;
  nvme.pcie = {80, 2, 160, 4, std::array<uint32_t, 3>{0, 28, 0}};
  DriveDescription sata = SmallDrive("S", Attachment::kSataAhci, 1);
  sata.pciDevice = 23;
  DriveDescription usb = SmallDrive("U", Attachment::kUsbFlash, 2);
  return {{nvme, sata, usb}};
}

TEST(SimPciLink, TheLabReportsItsLinksInWords) {
  LabUnderTest t(LinkLab());
  const std::string nvme = ParentNodeFor(t.lab->drives()[0]->description()).instanceId;
  const std::string sata = ParentNodeFor(t.lab->drives()[1]->description()).instanceId;
  const std::string usb = ParentNodeFor(t.lab->drives()[2]->description()).instanceId;
  const platform::PciLinkReport link = t.lab->PciLink(nvme);
  EXPECT_EQ(link.currentSpeed.text, "8.0 GT/s");
  EXPECT_EQ(link.currentWidth, 2u);
  EXPECT_EQ(link.maxSpeed.text, "16.0 GT/s");
  EXPECT_EQ(link.maxWidth, 4u);
  EXPECT_EQ(link.currentSpeed.code, 0u);
  EXPECT_EQ(t.lab->PciLink(sata).currentSpeed.text, "");
  EXPECT_EQ(t.lab->PciLink(sata).maxWidth, 0u);
  EXPECT_EQ(t.lab->PciLink(usb).currentSpeed.text, "");
  EXPECT_EQ(t.lab->PciLink("PCI\\NOTHING").currentWidth, 0u);
}

TEST(SimPciLink, UpstreamPortIsTheRootPortAboveTheController) {
  LabUnderTest t(LinkLab());
  EXPECT_EQ(disk::UpstreamPortLocation(*t.lab, 0x0300), 28u * 8);
  EXPECT_EQ(disk::UpstreamPortLocation(*t.lab, 28u * 8), 0u);  // the root port has none above it
  EXPECT_EQ(disk::UpstreamPortLocation(*t.lab, 23u * 8), 0u);  // the AHCI controller has no root port
  EXPECT_EQ(t.lab->PciDevices().size(), 3u);                   // root port, NVMe, AHCI; not USB

  // A removed controller is no longer a PCI device, and reports no link.
  const std::string nvme = ParentNodeFor(t.lab->drives()[0]->description()).instanceId;
  ASSERT_TRUE(t.lab->RemoveNode(nvme));
  EXPECT_EQ(disk::UpstreamPortLocation(*t.lab, 0x0300), 0u);
  EXPECT_EQ(t.lab->PciLink(nvme).maxWidth, 0u);
  ASSERT_TRUE(t.lab->Rescan());
  EXPECT_EQ(disk::UpstreamPortLocation(*t.lab, 0x0300), 28u * 8);
}

}  // namespace
}  // namespace kestrune::sim
