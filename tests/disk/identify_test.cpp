// Request bytes the inventory sends, and the identify fields it takes back.
#include <gtest/gtest.h>

#include "disk/bridge_probe.h"
#include "disk/identify_data.h"
#include "disk/identify_probe.h"
#include "disk/nvme_identify_entry.h"
#include "fake_device_tree.h"

namespace kestrune::disk {
namespace {

TEST(IdentifyRequests, GoldenBytes) {
  std::array<uint8_t, 64> entry = IdentifyControllerEntry();
  std::array<uint8_t, 64> expected{};
  expected[0] = 0x06;   // CDW0: opcode
  expected[40] = 0x01;  // CDW10: CNS 1
  EXPECT_EQ(entry, expected);

  SubmissionDwords d;
  d.cdw[1] = 0x04030201;
  EXPECT_EQ(EntryBytes(d)[4], 0x01);
  EXPECT_EQ(EntryBytes(d)[7], 0x04);

  EXPECT_EQ(SatIdentifyCdb(),
            (std::array<uint8_t, 16>{0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x40, 0xEC, 0}));
  EXPECT_EQ(InquiryCdb(), (std::array<uint8_t, 6>{0x12, 0, 0, 0, 38, 0}));
}

TEST(IdentifyData, NvmeAndAtaFields) {
  DriveIdentity nvme =
      ParseIdentifyController(testing::IdentifyControllerData(0x1E4B, "  KX NVMe 512G", "1.2A"));
  EXPECT_EQ(nvme.pciVendorId, 0x1E4Bu);
  EXPECT_EQ(nvme.model, "KX NVMe 512G");
  EXPECT_EQ(nvme.firmware, "1.2A");
  EXPECT_EQ(ParseIdentifyController(std::vector<uint8_t>(71, 0x41)).model, "");  // too short

  DriveIdentity ata = ParseAtaIdentify(testing::AtaIdentifyData("Samsung SSD 870 EVO 1TB", "SVT01B6Q"));
  EXPECT_EQ(ata.model, "Samsung SSD 870 EVO 1TB");
  EXPECT_EQ(ata.firmware, "SVT01B6Q");
  EXPECT_EQ(ata.pciVendorId, 0u);
}

TEST(IdentifyData, TextFields) {
  const uint8_t nulEnded[] = {'A', 'B', ' ', 0, 'C'};
  EXPECT_EQ(IdentifyText(nulEnded), "AB");
  const uint8_t latin1[] = {' ', 0xC4, 0x01, 'x', ' '};
  EXPECT_EQ(IdentifyText(latin1), "\u00C4 x");
}

TEST(IdentifyProbe, AtaRouteFallsBackToSatOnAnErrorStatus) {
  testing::FakeDeviceTree tree;
  DiskEntry e;
  e.diskKind = DiskKind::kAta;
  e.physicalPath = "d";
  tree.disks["d"].ataIdentify = testing::AtaIdentifyData("DIRECT", "1");
  tree.disks["d"].satIdentify = testing::AtaIdentifyData("THROUGH SAT", "2");
  EXPECT_EQ(IdentifyDrive(tree, e)->model, "DIRECT");
  tree.disks["d"].ataStatus = 0x58;  // data request still set
  EXPECT_EQ(IdentifyDrive(tree, e)->model, "THROUGH SAT");
  e.diskKind = DiskKind::kUsbAta;  // never the ATA route
  tree.disks["d"].ataStatus = 0x50;
  tree.requests.clear();
  EXPECT_EQ(IdentifyDrive(tree, e)->model, "THROUGH SAT");
  // IDENTIFY DEVICE is a 28-bit command: ATA PASS-THROUGH(12).
  EXPECT_EQ(tree.requests, (std::vector<std::string>{"open d", "scsi A1h d"}));
  e.diskKind = DiskKind::kRaid;
  EXPECT_FALSE(IdentifyDrive(tree, e));
}

TEST(IdentifyProbe, BridgeKindsOpenTheVolumeFirstAndSendTheirBridgeForms) {
  testing::FakeDeviceTree tree;
  DiskEntry e;
  e.diskKind = DiskKind::kAsm2362;
  e.physicalPath = "disk";
  e.devicePath = "disk";
  e.volumePath = "vol";
  tree.disks["vol"] = {};
  EXPECT_EQ(NvmeIdentifyPath(e), "vol");
  EXPECT_FALSE(IdentifyDrive(tree, e));  // this disk answers no bridge CDB
  EXPECT_EQ(tree.requests, (std::vector<std::string>{"open vol", "scsi EAh vol", "scsi E6h vol"}));
}

TEST(IdentifyProbe, NvmeKindsGoThroughTheirRoutes) {
  testing::FakeDeviceTree tree;
  DiskEntry e;
  e.diskKind = DiskKind::kNvm;
  e.physicalPath = e.devicePath = "d";
  tree.disks["d"].nvmeIdentify = testing::IdentifyControllerData(0x1E4B, "INBOX", "1");
  tree.disks["d"].nvmeRoute = platform::NvmeRoute::kInbox;
  EXPECT_EQ(IdentifyDrive(tree, e)->model, "INBOX");
  e.diskKind = DiskKind::kOfaNvm;  // the community route, on the SCSI port
  e.scsiPortPath = "p";
  tree.disks["p"].nvmeIdentify = testing::IdentifyControllerData(0x1E4B, "MINIPORT", "1");
  tree.disks["p"].nvmeRoute = platform::NvmeRoute::kCommunityMiniport;
  EXPECT_EQ(IdentifyDrive(tree, e)->model, "MINIPORT");
  e.diskKind = DiskKind::kIrstNvm;  // the drive does not answer on the RST route
  EXPECT_FALSE(IdentifyDrive(tree, e));
}

}  // namespace
}  // namespace kestrune::disk
