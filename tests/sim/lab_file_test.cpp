// The lab file: every key, the defaults the parser fills in, and clear errors for bad values.
#include "sim/lab_file.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "platform/files.h"
#include "sim/lab_values.h"
#include "support/fake_host.h"

namespace kestrune::sim {
namespace {

LabDescription Parse(std::string_view text) {
  LabFileResult r = ParseLab(base::IniFile::Parse(text));
  EXPECT_TRUE(r.lab) << r.error;
  return r.lab.value_or(LabDescription{});
}

std::string ErrorOf(std::string_view text) {
  LabFileResult r = ParseLab(base::IniFile::Parse(text));
  EXPECT_FALSE(r.lab);
  return r.error;
}

TEST(LabValues, Sizes) {
  EXPECT_EQ(ParseSize("4096"), 4096u);
  EXPECT_EQ(ParseSize("4GiB"), uint64_t{4} << 30);
  EXPECT_EQ(ParseSize(" 3 mib "), uint64_t{3} << 20);
  EXPECT_EQ(ParseSize("2KiB"), 2048u);
  EXPECT_EQ(ParseSize("1TiB"), uint64_t{1} << 40);
  EXPECT_EQ(ParseSize("256GB"), uint64_t{256} * 1000 * 1000 * 1000);
  EXPECT_EQ(ParseSize("5KB"), 5000u);
  EXPECT_FALSE(ParseSize(""));
  EXPECT_FALSE(ParseSize("GiB"));
  EXPECT_FALSE(ParseSize("4 GiBs"));
  EXPECT_FALSE(ParseSize("-1"));
  EXPECT_FALSE(ParseSize("1.5GiB"));
  EXPECT_FALSE(ParseSize("99999999999999999999"));
  EXPECT_FALSE(ParseSize("99999999999TiB"));
}

TEST(LabValues, NumbersSwitchesLettersLocations) {
  EXPECT_EQ(ParseNumber("0x1F"), 31u);
  EXPECT_EQ(ParseNumber("12"), 12u);
  EXPECT_FALSE(ParseNumber("0x"));
  EXPECT_FALSE(ParseNumber("12a"));
  EXPECT_FALSE(ParseNumber("0x12345678901234567"));
  EXPECT_EQ(ParseSwitch("Yes"), true);
  EXPECT_EQ(ParseSwitch("off"), false);
  EXPECT_FALSE(ParseSwitch("2"));
  EXPECT_EQ(ParseDriveLetter("d:"), 'D');
  EXPECT_EQ(ParseDriveLetter("E"), 'E');
  EXPECT_FALSE(ParseDriveLetter("DE"));
  EXPECT_FALSE(ParseDriveLetter("1:"));
  auto pci = ParsePciLocation("(3,0,1)");
  ASSERT_TRUE(pci);
  EXPECT_EQ((*pci)[0], 3u);
  EXPECT_EQ((*pci)[2], 1u);
  EXPECT_TRUE(ParsePciLocation("4, 0, 0"));
  EXPECT_FALSE(ParsePciLocation("(3,0)"));
  EXPECT_FALSE(ParsePciLocation("(3,0,0"));
  EXPECT_FALSE(ParsePciLocation("(a,0,0)"));
  EXPECT_EQ(ParseUsbChain("1-4-3"), (std::vector<uint32_t>{1, 4, 3}));
  EXPECT_FALSE(ParseUsbChain("3"));
  EXPECT_FALSE(ParseUsbChain("1--3"));
}

TEST(LabValues, LinkSpeedsAndWidths) {
  struct Row {
    const char* text;
    std::optional<uint32_t> value;
  };
  const Row speeds[] = {{"2.5", 25},      {"5", 50},         {"5.0", 50},        {"8", 80},
                        {"8.0 GT/s", 80}, {"16.0GT/s", 160}, {" 32 gt/s ", 320}, {"64", 640},
                        {"10", {}},       {"2.50", {}},      {"8.", {}},         {"GT/s", {}},
                        {"", {}},         {"128", {}},       {"-8", {}},         {"8 GB/s", {}}};
  for (const Row& r : speeds) EXPECT_EQ(ParseLinkSpeed(r.text), r.value) << r.text;
  const Row widths[] = {{"1", 1},   {"2", 2},  {"4", 4},  {"8", 8},   {"12", 12}, {"16", 16},
                        {"32", 32}, {"0", {}}, {"3", {}}, {"64", {}}, {"x4", {}}, {"", {}}};
  for (const Row& r : widths) EXPECT_EQ(ParseLinkWidth(r.text), r.value) << r.text;
}

TEST(LabFile, EveryKey) {
  LabDescription lab = Parse(
      "[Main]\r\n"
      "Attachment = nvme-miniport\r\n"
      "Model = MY MODEL\r\n"
      "Serial = SER123\r\n"
      "Firmware = FW000001\r\n"
      "VendorId = 0x1234\r\n"
      "DeviceNumber = 4\r\n"
      "Capacity = 64MiB\r\n"
      "SectorSize = 4096\r\n"
      "Removable = yes\r\n"
      "WriteCache = 0\r\n"
      "Trim = off\r\n"
      "ScsiPort = 7\r\n"
      "PathId = 1\r\n"
      "TargetId = 2\r\n"
      "Lun = 3\r\n"
      "PciLocation = (5,1,2)\r\n"
      "NamespaceId = 3\r\n"
      "LinkSpeed = 8\r\n"
      "LinkWidth = 2\r\n"
      "MaxLinkSpeed = 16.0 GT/s\r\n"
      "MaxLinkWidth = 4\r\n"
      "RootPort = (0,28,4)\r\n"
      "Volumes = D:, e\r\n"
      "Volume_D = 1MiB, 16MiB, 4MiB\r\n"
      "InquiryVendor = VEND\r\n"
      "InquiryProduct = PRODUCT\r\n"
      "InquiryRevision = R1\r\n"
      "InquirySignature = 60 0x23\r\n"
      "FailOpen = 1\r\n"
      "FailOpenCount = 2\r\n"
      "FailRequests = read, flush\r\n"
      "FailRequestsCount = 3\r\n"
      "MediaErrors = 5, 0x10\r\n"
      "ShortTransfer = write\r\n"
      "ShortTransferBytes = 8KiB\r\n"
      "Stall = 1500\r\n"
      "StallRequests = passthrough\r\n"
      "Unplugged = 1\r\n"
      "UnplugAfterRequests = 9\r\n"
      "ReturnAfter = 30\r\n"
      "[Usb]\r\n"
      "Attachment = usb-rtl9210b\r\n"
      "Capacity = 8MiB\r\n"
      "UsbPort = 2-4-3\r\n"
      "[Sata]\r\n"
      "Attachment = 1\r\n"
      "Capacity = 8MiB\r\n"
      "AhciPort = 5\r\n");
  ASSERT_EQ(lab.drives.size(), 3u);
  const DriveDescription& d = lab.drives[0];
  EXPECT_EQ(d.name, "Main");
  EXPECT_EQ(d.attachment, Attachment::kNvmeCommunity);
  EXPECT_EQ(d.model, "MY MODEL");
  EXPECT_EQ(d.serial, "SER123");
  EXPECT_EQ(d.firmware, "FW000001");
  EXPECT_EQ(d.pciVendorId, 0x1234);
  EXPECT_EQ(d.deviceNumber, 4u);
  EXPECT_EQ(d.capacityBytes, uint64_t{64} << 20);
  EXPECT_EQ(d.sectorSize, 4096u);
  EXPECT_TRUE(d.removable);
  EXPECT_FALSE(d.writeCache);
  EXPECT_FALSE(d.trimSupported);
  EXPECT_EQ(d.scsiPort, 7u);
  EXPECT_EQ(d.pathId, 1u);
  EXPECT_EQ(d.targetId, 2u);
  EXPECT_EQ(d.lun, 3u);
  EXPECT_EQ(d.pciBus, 5u);
  EXPECT_EQ(d.pciDevice, 1u);
  EXPECT_EQ(d.pciFunction, 2u);
  EXPECT_EQ(d.namespaceId, 3u);
  EXPECT_EQ(d.pcie.speedTenths, 80u);
  EXPECT_EQ(d.pcie.width, 2u);
  EXPECT_EQ(d.pcie.maxSpeedTenths, 160u);
  EXPECT_EQ(d.pcie.maxWidth, 4u);
  EXPECT_EQ(d.pcie.rootPort, (std::array<uint32_t, 3>{0, 28, 4}));
  ASSERT_EQ(d.volumes.size(), 2u);
  EXPECT_EQ(d.volumes[0].letter, 'D');
  EXPECT_EQ(d.volumes[0].offset, uint64_t{1} << 20);
  EXPECT_EQ(d.volumes[0].sizeBytes, uint64_t{16} << 20);
  EXPECT_EQ(d.volumes[0].freeBytes, uint64_t{4} << 20);
  // E: is placed after D:, on the next MiB, and takes the rest of the disk.
  EXPECT_EQ(d.volumes[1].letter, 'E');
  EXPECT_EQ(d.volumes[1].offset, uint64_t{17} << 20);
  EXPECT_EQ(d.volumes[1].sizeBytes, uint64_t{47} << 20);
  EXPECT_EQ(d.inquiry.vendor, "VEND");
  EXPECT_EQ(d.inquiry.product, "PRODUCT");
  EXPECT_EQ(d.inquiry.revision, "R1");
  EXPECT_EQ(d.inquiry.byte36, 0x60);
  EXPECT_EQ(d.inquiry.byte37, 0x23);
  const FaultPlan& f = d.faults;
  EXPECT_TRUE(f.failOpen);
  EXPECT_EQ(f.failOpenCount, 2u);
  EXPECT_EQ(f.failRequests, request::kRead | request::kFlush);
  EXPECT_EQ(f.failRequestsCount, 3u);
  EXPECT_EQ(f.mediaErrorLbas, (std::set<uint64_t>{5, 16}));
  EXPECT_EQ(f.shortTransfer, request::kWrite);
  EXPECT_EQ(f.shortTransferBytes, 8192u);
  EXPECT_EQ(f.stallMs, 1500u);
  EXPECT_EQ(f.stallRequests, request::kPassThrough);
  EXPECT_TRUE(f.unplugged);
  EXPECT_EQ(f.unplugAfterRequests, 9u);
  EXPECT_EQ(f.returnAfterSeconds, 30u);

  const DriveDescription& usb = lab.drives[1];
  EXPECT_EQ(usb.attachment, Attachment::kUsbRtl9210B);
  EXPECT_EQ(usb.usbController, 2u);
  EXPECT_EQ(usb.usbPorts, (std::vector<uint32_t>{3, 4}));  // the drive's own port first
  EXPECT_EQ(lab.drives[2].attachment, Attachment::kSataAhci);
  EXPECT_EQ(lab.drives[2].pathId, 5u);
}

TEST(LabFile, Defaults) {
  LabDescription lab = Parse(
      "[A]\nAttachment = sata-ahci\nCapacity = 8MiB\nVolumes = C:\n"
      "[B]\nAttachment = nvme-inbox\nCapacity = 8MiB\n"
      "[C]\nAttachment = sata-ahci\nCapacity = 8MiB\nDeviceNumber = 0\n"
      "[D]\nAttachment = nvme-rst\nCapacity = 8MiB\n"
      "[E]\nAttachment = usb-flash\nCapacity = 8MiB\n"
      "[F]\nAttachment = raid\nCapacity = 8MiB\nVolumes = R:\n");
  ASSERT_EQ(lab.drives.size(), 6u);
  const auto& a = lab.drives[0];
  const auto& b = lab.drives[1];
  const auto& c = lab.drives[2];
  const auto& d = lab.drives[3];
  const auto& e = lab.drives[4];
  const auto& f = lab.drives[5];
  // Device numbers: explicit ones are kept, the others take the lowest free numbers in order.
  EXPECT_EQ(c.deviceNumber, 0u);
  EXPECT_EQ(a.deviceNumber, 1u);
  EXPECT_EQ(b.deviceNumber, 2u);
  EXPECT_EQ(d.deviceNumber, 3u);
  // SATA drives share the AHCI controller's port, on different path ids.
  EXPECT_EQ(a.scsiPort, c.scsiPort);
  EXPECT_EQ(a.pathId, 0u);
  EXPECT_EQ(c.pathId, 1u);
  EXPECT_NE(b.scsiPort, a.scsiPort);
  EXPECT_NE(d.scsiPort, b.scsiPort);
  // PCI NVMe controllers on buses 3, 4, ...
  EXPECT_EQ(b.pciBus, 3u);
  EXPECT_EQ(d.pciBus, 4u);
  // Namespace 1, and a link the lab does not report, below no root port.
  EXPECT_EQ(b.namespaceId, 1u);
  EXPECT_EQ(b.pcie.speedTenths, 0u);
  EXPECT_EQ(b.pcie.maxWidth, 0u);
  EXPECT_FALSE(b.pcie.rootPort);
  EXPECT_EQ(a.model, "KESTRUNE SIM A");
  EXPECT_EQ(a.serial, "SIM00000000000000001");
  EXPECT_EQ(a.firmware, "SIM10001");
  EXPECT_EQ(a.sectorSize, 512u);
  EXPECT_TRUE(a.writeCache);
  EXPECT_TRUE(a.trimSupported);
  EXPECT_FALSE(a.removable);
  ASSERT_EQ(a.volumes.size(), 1u);
  EXPECT_EQ(a.volumes[0].offset, uint64_t{1} << 20);
  EXPECT_EQ(a.volumes[0].sizeBytes, uint64_t{7} << 20);
  EXPECT_EQ(a.volumes[0].freeBytes, a.volumes[0].sizeBytes / 2);
  EXPECT_TRUE(e.removable);
  EXPECT_FALSE(e.trimSupported);
  EXPECT_EQ(e.usbController, 1u);
  EXPECT_EQ(e.usbPorts, std::vector<uint32_t>{1});
  EXPECT_EQ(e.inquiry.vendor, "Generic");
  ASSERT_EQ(f.volumes.size(), 1u);
  EXPECT_EQ(f.volumes[0].offset, 0u);
  EXPECT_EQ(f.volumes[0].sizeBytes, f.capacityBytes);
}

TEST(LabFile, AttachmentNamesAndKindNumbers) {
  struct Row {
    const char* text;
    Attachment attachment;
    int kind;
  };
  const Row rows[] = {
      {"sata-ahci", Attachment::kSataAhci, 1},
      {"SATA-SAS", Attachment::kSataSas, 2},
      {"sata-usb", Attachment::kSataUsb, 2},
      {"nvme-inbox", Attachment::kNvmeInbox, 10},
      {"nvme-miniport", Attachment::kNvmeCommunity, 11},
      {"nvme-rst", Attachment::kNvmeRst, 12},
      {"usb-jmicron", Attachment::kUsbJmicron, 13},
      {"usb-asm2362", Attachment::kUsbAsm2362, 14},
      {"usb-asm2364", Attachment::kUsbAsm2364, 15},
      {"usb-rtl9210b", Attachment::kUsbRtl9210B, 16},
      {"usb-rtl9210", Attachment::kUsbRtl9210, 17},
      {"raid", Attachment::kSoftwareRaid, 20},
      {"usb-flash", Attachment::kUsbFlash, 21},
      {"2", Attachment::kSataSas, 2},
      {"15", Attachment::kUsbAsm2364, 15},
  };
  for (const Row& row : rows) {
    auto a = AttachmentByName(row.text);
    ASSERT_TRUE(a) << row.text;
    EXPECT_EQ(*a, row.attachment) << row.text;
    EXPECT_EQ(static_cast<int>(ExpectedKind(*a)), row.kind) << row.text;
  }
  EXPECT_FALSE(AttachmentByName("nvme"));
  EXPECT_FALSE(AttachmentByName("0"));
}

TEST(LabFile, BadValuesGiveClearErrors) {
  struct Row {
    const char* keys;      // added to a sound drive section
    const char* expected;  // part of the error
  };
  const Row rows[] = {
      {"Colour = red", "unknown key Colour"},
      {"Capacity = lots", "Capacity = \"lots\": not a size"},
      {"Capacity = 1000", "not a non-zero multiple of the sector size 512"},
      {"SectorSize = 1024", "SectorSize = \"1024\": not 512 or 4096"},
      {"Removable = maybe", "Removable = \"maybe\": not a switch"},
      {"Model = 12345678901234567890123456789012345678901", "longer than 40 characters"},
      {"Serial = 123456789012345678901", "longer than 20 characters"},
      {"Firmware = 123456789", "longer than 8 characters"},
      {"VendorId = 0x10000", "more than 16 bits"},
      {"DeviceNumber = -1", "DeviceNumber = \"-1\": not a number"},
      {"PciLocation = 3:0.0", "not (bus,device,function)"},
      {"PciLocation = (300,0,0)", "PCI location is bus 0-255"},
      {"UsbPort = 1-2", "only USB drives have one"},
      {"AhciPort = 1", "only sata-ahci drives have one"},
      {"Volumes = D:, 5", "not a list of drive letters"},
      {"Volumes = A:", "not a list of drive letters"},
      {"Volumes = D:, d:", "listed twice"},
      {"Volume_Q = 0, 1MiB", "Volume_Q names a letter that Volumes does not list"},
      {"Volumes = D:\nVolume_D = 1MiB", "not offset, size[, free]"},
      {"Volumes = D:\nVolume_D = 1MiB, 1GiB", "volume D: lies beyond the disk"},
      {"Volumes = D:\nVolume_D = 100, 1MiB", "whole sectors"},
      {"Volumes = D:, E:\nVolume_D = 1MiB, 2MiB\nVolume_E = 2MiB, 2MiB", "overlaps another volume"},
      {"Volumes = D:\nVolume_D = 1MiB, 2MiB, 3MiB", "more free bytes than its size"},
      {"InquiryVendor = 123456789", "longer than 8 characters"},
      {"InquirySignature = 60", "not two hexadecimal bytes"},
      {"InquirySignature = 600 23", "not two hexadecimal bytes"},
      {"FailRequests = read, explode", "not a list of read, write"},
      {"FailOpenCount = 2", "needs FailOpen = 1"},
      {"FailRequestsCount = 2", "needs FailRequests"},
      {"ShortTransfer = flush", "only read and write move data"},
      {"MediaErrors = 1, 16384", "not a list of LBAs on the drive"},
      {"Stall = soon", "not a number"},
      {"ReturnAfter = x", "not a number"},
      {"NamespaceId = 0", "NamespaceId = \"0\": not 1 to 0xFFFFFFFE"},
      {"NamespaceId = 0xFFFFFFFF", "not 1 to 0xFFFFFFFE"},
      {"LinkSpeed = 10", "LinkSpeed = \"10\": not a link speed"},
      {"MaxLinkWidth = x4", "not a link width"},
      {"LinkSpeed = 16\nMaxLinkSpeed = 8", "MaxLinkSpeed = \"8\": less than the negotiated link"},
      {"LinkWidth = 8\nMaxLinkWidth = 4", "MaxLinkWidth = \"4\": less than the negotiated link"},
      {"RootPort = 0:1c.0", "not (bus,device,function)"},
      {"RootPort = (0,32,0)", "the root port is bus 0-255, device 0-31"},
      {"WwnOui = 0x00CAFE", "WwnOui = \"0x00CAFE\": a non-zero 24-bit OUI of a SATA drive"},
      {"Attachment = sata-ahci\nWwnOui = 0x1000000", "a non-zero 24-bit OUI of a SATA drive"},
      {"Attachment = sata-ahci\nSocId = 2201", "only SATA drives with WwnOui 0x00CAFE answer it"},
  };
  for (const Row& row : rows) {
    // The first of two equal keys counts, so the row's keys come before the sound ones.
    std::string text = std::string("[Disk]\n") + row.keys + "\nAttachment = nvme-inbox\nCapacity = 8MiB\n";
    std::string error = ErrorOf(text);
    EXPECT_NE(error.find(row.expected), std::string::npos) << row.keys << "\n  gave: " << error;
    EXPECT_NE(error.find("[Disk]"), std::string::npos) << error;
  }
}

TEST(LabFile, LinkAndNamespaceBelongToPciDrives) {
  EXPECT_EQ(Parse("[A]\nAttachment = sata-ahci\nCapacity = 8MiB\nLinkSpeed = 5\nLinkWidth = 1\n")
                .drives[0]
                .pcie.maxSpeedTenths,
            50u);  // the maximum follows the negotiated link
  const char* usbLink = "[U]\nAttachment = usb-flash\nCapacity = 8MiB\nLinkSpeed = 8\n";
  EXPECT_NE(ErrorOf(usbLink).find("LinkSpeed = \"8\": USB and RAID drives have no PCI controller"),
            std::string::npos);
  const char* raidRoot = "[R]\nAttachment = raid\nCapacity = 8MiB\nVolumes = R:\nRootPort = (0,1,0)\n";
  EXPECT_NE(ErrorOf(raidRoot).find("no PCI controller"), std::string::npos);
  const char* sataNs = "[S]\nAttachment = sata-ahci\nCapacity = 8MiB\nNamespaceId = 2\n";
  EXPECT_NE(ErrorOf(sataNs).find("only NVMe drives on a PCI controller have one"), std::string::npos);
  const char* bridgeNs = "[B]\nAttachment = usb-asm2364\nCapacity = 8MiB\nNamespaceId = 2\n";
  EXPECT_NE(ErrorOf(bridgeNs).find("only NVMe drives on a PCI controller have one"), std::string::npos);
}

TEST(LabFile, LabWideErrors) {
  EXPECT_NE(ErrorOf("").find("no drives"), std::string::npos);
  EXPECT_NE(ErrorOf("[A]\nCapacity = 8MiB\n").find("Attachment = \"\": missing"), std::string::npos);
  EXPECT_NE(ErrorOf("[A]\nAttachment = flux\nCapacity = 8MiB\n").find("not an attachment"),
            std::string::npos);
  EXPECT_NE(ErrorOf("[A]\nAttachment = nvme-inbox\n").find("Capacity = \"\": missing"), std::string::npos);
  EXPECT_NE(ErrorOf("[A]\nAttachment = nvme-inbox\nCapacity = 8MiB\nDeviceNumber = 1\n"
                    "[B]\nAttachment = nvme-inbox\nCapacity = 8MiB\nDeviceNumber = 1\n")
                .find("device number 1 is taken"),
            std::string::npos);
  EXPECT_NE(ErrorOf("[A]\nAttachment = nvme-inbox\nCapacity = 8MiB\nVolumes = D:\n"
                    "[B]\nAttachment = nvme-inbox\nCapacity = 8MiB\nVolumes = D:\n")
                .find("drive letter D: is taken"),
            std::string::npos);
  EXPECT_NE(ErrorOf("[A]\nAttachment = nvme-inbox\nCapacity = 8MiB\nScsiPort = 1\n"
                    "[B]\nAttachment = sata-ahci\nCapacity = 8MiB\nScsiPort = 1\n")
                .find("SCSI port 1 belongs to another controller"),
            std::string::npos);
  EXPECT_NE(ErrorOf("[R]\nAttachment = raid\nCapacity = 8MiB\nVolumes = R:, S:\n").find("one letter"),
            std::string::npos);
  EXPECT_NE(ErrorOf("[R]\nAttachment = raid\nCapacity = 8MiB\nVolumes = R:\nSectorSize = 4096\n")
                .find("512-byte sectors"),
            std::string::npos);
}

TEST(LabFile, ExampleLabLoads) {
  LabFileResult r = LoadLabFile(std::string(KESTRUNE_SOURCE_DIR) + "/examples/lab_4k.ini");
  ASSERT_TRUE(r.lab) << r.error;
  ASSERT_EQ(r.lab->drives.size(), 3u);
  EXPECT_EQ(r.lab->drives[0].sectorSize, 4096u);
  EXPECT_EQ(r.lab->drives[1].attachment, Attachment::kUsbAsm2364);
  ASSERT_EQ(r.lab->drives[2].volumes.size(), 2u);
  EXPECT_EQ(r.lab->drives[2].volumes[1].letter, 'E');
}

TEST(LabFile, DamagedFilesGiveAnErrorOrALab) {
  auto bytes = platform::ReadWholeFile(std::string(KESTRUNE_SOURCE_DIR) + "/examples/lab_4k.ini");
  ASSERT_TRUE(bytes);
  const std::string text(bytes->begin(), bytes->end());
  for (size_t i = 0; i < text.size(); ++i) {
    for (const std::string& damaged : {text.substr(0, i), text.substr(0, i) + '\x01' + text.substr(i + 1)}) {
      LabFileResult r = ParseLab(base::IniFile::Parse(damaged));
      EXPECT_NE(r.lab.has_value(), !r.error.empty()) << i;
    }
  }
}

TEST(LabFile, MissingFileNamesThePath) {
  LabFileResult r = LoadLabFile("/nonexistent/lab.ini");
  EXPECT_FALSE(r.lab);
  EXPECT_NE(r.error.find("/nonexistent/lab.ini"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::sim

namespace kestrune::sim {
namespace {

TEST(LabFile, CommandAndBridgeFailures) {
  LabDescription lab = Parse(
      "[Bridge]\r\nAttachment = usb-asm2362\r\nCapacity = 16 MiB\r\nNvmeFailures = 0x06, io:0x09=0x0281\r\n"
      "NvmeFailuresCount = 3\r\nBridgeCheck = command\r\nBridgeFail = data, completion\r\nBridgeFailuresCount = 2\r\n");
  ASSERT_EQ(lab.drives.size(), 1u);
  const FaultPlan& f = lab.drives[0].faults;
  EXPECT_EQ(f.nvmeFailures.size(), 2u);
  EXPECT_EQ(f.nvmeFailures.at(NvmeFaultKey(true, 0x09)), 0x0281);
  EXPECT_EQ(f.nvmeFailuresCount, 3u);
  EXPECT_EQ(f.bridgeCheckPhases, bridge_phase::kCommand);
  EXPECT_EQ(f.bridgeFailPhases, bridge_phase::kData | bridge_phase::kCompletion);
  EXPECT_EQ(f.bridgeFailuresCount, 2u);

  struct Bad {
    const char* keys;
    const char* words;
  };
  const Bad bad[] = {
      {"Attachment = nvme-inbox\r\nBridgeCheck = data\r\n", "only NVMe drives behind USB bridges"},
      {"Attachment = sata-ahci\r\nNvmeFailures = 6\r\n", "only NVMe drives take NVMe commands"},
      {"Attachment = nvme-inbox\r\nNvmeFailures = 0x1FF\r\n", "not a list of [io:]OPCODE[=STATUS]"},
      {"Attachment = usb-jmicron\r\nBridgeFail = status\r\n", "not a list of command, data"},
      {"Attachment = nvme-inbox\r\nNvmeFailuresCount = 1\r\n", "needs NvmeFailures"},
      {"Attachment = usb-jmicron\r\nBridgeFailuresCount = 1\r\n", "needs BridgeCheck or BridgeFail"},
  };
  for (const Bad& b : bad) {
    const std::string error = ErrorOf(std::string("[D]\r\nCapacity = 1 MiB\r\n") + b.keys);
    EXPECT_NE(error.find(b.words), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace kestrune::sim

namespace kestrune::sim {
namespace {

TEST(LabFile, FileSectionsHoldFileFaultsNotDrives) {
  const LabDescription lab = Parse(
      "[D]\nAttachment=nvme-inbox\nCapacity=64MiB\n"
      "[File:flip.bin]\nFlipAt=0x1234\nFlipEveryRead=yes\nPieceDelayMs=100\nCachedOnly=1\n"
      "[File:full.bin]\nFullAt=4096\nReadFailAt=10\n");
  ASSERT_EQ(lab.drives.size(), 1u);
  ASSERT_EQ(lab.files.size(), 2u);
  EXPECT_EQ(lab.files[0].name, "flip.bin");
  EXPECT_EQ(lab.files[0].flipAt, 0x1234u);
  EXPECT_TRUE(lab.files[0].flipEveryRead && lab.files[0].cachedOnly);
  EXPECT_EQ(lab.files[0].pieceDelayMs, 100u);
  EXPECT_EQ(lab.files[1].fullAt, 4096u);
  EXPECT_EQ(lab.files[1].readFailAt, 10u);
  EXPECT_NE(ErrorOf("[D]\nAttachment=nvme-inbox\nCapacity=64MiB\n[File:x]\nFlipAt=far\n").find("[File:x]: FlipAt"),
            std::string::npos);
  EXPECT_NE(ErrorOf("[D]\nAttachment=nvme-inbox\nCapacity=64MiB\n[File:x]\nColour=red\n").find("unknown key Colour"),
            std::string::npos);
}

TEST(LabFile, FileServerSectionIsTheServerNotADrive) {
  const LabDescription lab = Parse(
      "[D]\nAttachment=nvme-inbox\nCapacity=64MiB\n"
      "[FileServer]\nFolder=served\nFault=Short\nFailAt=0x1000\nUser=u\nPassword=p\n");
  ASSERT_EQ(lab.drives.size(), 1u);
  ASSERT_TRUE(lab.fileServer.has_value());
  EXPECT_EQ(lab.fileServer->folder, "served");
  EXPECT_EQ(lab.fileServer->rules.fault, LabFetchFault::kShort);
  EXPECT_EQ(lab.fileServer->rules.failAt, 0x1000u);
  EXPECT_EQ(lab.fileServer->rules.user + lab.fileServer->rules.password, "up");
  EXPECT_FALSE(Parse("[D]\nAttachment=nvme-inbox\nCapacity=64MiB\n").fileServer.has_value());
  for (const char* bad : {"Fault=sometimes", "FailAt=half", "Port=21"})
    EXPECT_NE(ErrorOf(std::string("[D]\nAttachment=nvme-inbox\nCapacity=64MiB\n[FileServer]\n") + bad).find("[FileServer]"),
              std::string::npos)
        << bad;
}

}  // namespace
}  // namespace kestrune::sim
