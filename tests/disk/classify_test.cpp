// Classification by driver path: bus type and driver service, USB bridge signatures, Identify
// through the bridges, SATA drives behind bridges; and where a disk is plugged in.
#include "disk/classify.h"

#include <gtest/gtest.h>

#include "disk/bridge_probe.h"
#include "disk/location.h"
#include "fake_device_tree.h"

namespace kestrune::disk {
namespace {

using testing::AtaIdentifyData;
using testing::FakeDeviceTree;
using testing::InquiryData;
using testing::Node;
namespace bus = platform::bus;

TEST(Classify, BusTypeAndDriverService) {
  struct Case {
    uint32_t busType;
    std::string service;
    DiskKind kind;
  };
  const Case cases[] = {
      {bus::kSata, "storahci", DiskKind::kAta},          {bus::kSas, "LSI_SAS3", DiskKind::kUsbAta},
      {bus::kNvme, "stornvme", DiskKind::kNvm},          {bus::kNvme, "StorNVMe", DiskKind::kNvm},
      {bus::kNvme, "secnvme", DiskKind::kOfaNvm},        {bus::kNvme, "iaStorAC", DiskKind::kIrstNvm},
      {bus::kRaid, "iaStorVD", DiskKind::kIrstNvm},      {bus::kRaid, "IASTORE", DiskKind::kIrstNvm},
      {bus::kRaid, "megasas", DiskKind::kUnclassified},  {bus::kSata, "iaStorAC", DiskKind::kAta},
      {bus::kScsi, "storport", DiskKind::kUnclassified}, {bus::kAta, "atapi", DiskKind::kUnclassified},
      {bus::kSata, "stornvme", DiskKind::kNvm},
  };
  FakeDeviceTree tree;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.service + " on bus " + std::to_string(c.busType));
    platform::DiskNode node = Node(1, c.busType, c.service);
    node.parent.driverVersion = 0x000A00010002000BULL;
    Classification got = Classify(node, tree);
    EXPECT_EQ(got.kind, c.kind);
    EXPECT_EQ(got.driverService, c.service);
    EXPECT_EQ(got.controllerInstanceId, node.parent.instanceId);
    EXPECT_EQ(got.driverVersion, "10.1.2.11");
    EXPECT_EQ(got.controllerName,
              c.kind == DiskKind::kNvm ? "Standard NVM Express Controller" : node.parent.name);
  }
  EXPECT_TRUE(tree.requests.empty());  // nothing but USB disks is probed
}

#ifndef _WIN32
TEST(Classify, LinuxInboxNvmeDriverIsTheInboxPath) {
  FakeDeviceTree tree;
  EXPECT_EQ(Classify(Node(0, bus::kNvme, "nvme"), tree).kind, DiskKind::kNvm);
}
#endif

TEST(BridgeProbe, InquirySignatures) {
  struct Case {
    const char* name;
    std::vector<uint8_t> inquiry;
    DiskKind kind;
    bool askBridges;
  };
  const Case cases[] = {
      {"ASM2362", InquiryData("ASMT", "ASM2362 NVMe", 0x60, 0x23), DiskKind::kAsm2362, false},
      {"ASM2364", InquiryData("ASMT", "usb asm2364", 0x60, 0x23), DiskKind::kAsm2364, false},
      {"JMicron 35 35", InquiryData("JMicron", "Generic", 0x35, 0x35), DiskKind::kJmi, false},
      {"JMicron 30 35", InquiryData("JMicron", "Generic", 0x30, 0x35), DiskKind::kJmi, false},
      {"RTL9210B", InquiryData("Realtek", "RTL9210B NVME", 0, 0), DiskKind::kRtl9210B, false},
      {"RTL9210", InquiryData("Realtek", "RTL9210 NVME", 0, 0), DiskKind::kRtl9210, false},
      {"Realtek product is case-sensitive", InquiryData("Realtek", "RTL9210b", 0, 0), DiskKind::kRtl9210,
       false},
      {"no Realtek in lower case", InquiryData("Realtek", "rtl921ob", 0, 0), DiskKind::kFlashDrive, true},
      {"later rule wins over the ASMedia bytes", InquiryData("X", "RTL9210B", 0x60, 0x23),
       DiskKind::kRtl9210B, false},
      {"SATA bridge bytes", InquiryData("Generic", "Bridge", 0x05, 0x21), DiskKind::kUsbAta, false},
      {"SATA in the text is final", InquiryData("JMicron", "Tech SATA", 0x35, 0x35), DiskKind::kUsbAta,
       false},
      {"sata in the vendor, any case", InquiryData("sata-usb", "Bridge", 0x60, 0x23), DiskKind::kUsbAta,
       false},
      {"removable flash drive", InquiryData("SanDisk", "Cruzer", 0, 0, true), DiskKind::kFlashDrive, false},
      {"fixed without signature", InquiryData("Generic", "External", 0, 0), DiskKind::kFlashDrive, true},
      {"short answer", std::vector<uint8_t>(20, 0), DiskKind::kFlashDrive, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InquiryVerdict v = KindFromInquiry(c.inquiry);
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_EQ(v.askBridges, c.askBridges);
  }
}

// A sender that answers only the listed bridge forms, with the given data.
struct ScriptedBridges {
  static inline std::vector<BridgeForm> answering;
  static inline std::vector<uint8_t> data;
  static inline std::vector<BridgeForm> asked;
  static bool Send(platform::Device&, BridgeForm form, std::span<uint8_t> out) {
    asked.push_back(form);
    if (std::find(answering.begin(), answering.end(), form) == answering.end()) return false;
    std::copy_n(data.begin(), std::min(data.size(), out.size()), out.begin());
    return true;
  }
};

TEST(BridgeProbe, IdentifyThroughTheBridgesInOrder) {
  const std::vector<uint8_t> plausible = testing::IdentifyControllerData(0x1E4B, "NV2", "1.0");
  std::vector<uint8_t> implausible = plausible;
  implausible[24] = 0x20;  // model starts with a blank
  std::vector<uint8_t> noSubsystem = plausible;
  noSubsystem[2] = noSubsystem[3] = 0;
  struct Case {
    const char* name;
    std::vector<BridgeForm> answering;
    std::vector<uint8_t> data;
    DiskKind kind;
  };
  const Case cases[] = {
      {"ASMedia first",
       {BridgeForm::kAsmediaThreePhase, BridgeForm::kJmicron},
       plausible,
       DiskKind::kAsm2362},
      {"JMicron", {BridgeForm::kJmicron, BridgeForm::kRtl9210B}, plausible, DiskKind::kJmi},
      {"RTL9210B", {BridgeForm::kRtl9210B}, plausible, DiskKind::kRtl9210B},
      {"RTL9210B implausible, RTL9210 too",
       {BridgeForm::kRtl9210B, BridgeForm::kRtl9210},
       implausible,
       DiskKind::kFlashDrive},
      {"RTL9210", {BridgeForm::kRtl9210}, plausible, DiskKind::kRtl9210},
      {"zero word at byte 2", {BridgeForm::kRtl9210}, noSubsystem, DiskKind::kFlashDrive},
      {"nobody answers", {}, plausible, DiskKind::kFlashDrive},
  };
  FakeDeviceTree tree;
  tree.disks["u"] = {};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedBridges::answering = c.answering;
    ScriptedBridges::data = c.data;
    auto device = tree.Open("u", platform::OpenAccess::kReadWrite);
    EXPECT_EQ(KindFromBridgeIdentify(*device, ScriptedBridges::Send), c.kind);
  }
}

TEST(BridgeProbe, TheBridgeCarriagesDoNotAnswerYet) {
  FakeDeviceTree tree;
  tree.disks["u"] = {};
  auto device = tree.Open("u", platform::OpenAccess::kReadWrite);
  EXPECT_EQ(KindFromBridgeIdentify(*device), DiskKind::kFlashDrive);
}

class UsbClassify : public ::testing::Test {
 protected:
  UsbClassify() : node(Node(3, bus::kUsb, "USBSTOR")) {
    node.usbPorts = {3, 4};
    node.usbHostController = 1;
  }
  Classification Run() { return Classify(node, tree, ScriptedBridges::Send); }

  FakeDeviceTree tree;
  platform::DiskNode node;
};

TEST_F(UsbClassify, BridgeSignatureGivesTheKindAndTheUsbChainTheLocation) {
  ScriptedBridges::answering = {};
  tree.disks[node.physicalPath].inquiry = InquiryData("ASMT", "ASM2362", 0x60, 0x23);
  Classification c = Run();
  EXPECT_EQ(c.kind, DiskKind::kAsm2362);
  EXPECT_EQ(LocationOf(node, c.kind), 10403u);
  EXPECT_EQ(tree.requests,
            (std::vector<std::string>{"open \\\\.\\PHYSICALDRIVE3", "scsi 12h \\\\.\\PHYSICALDRIVE3"}));
}

TEST_F(UsbClassify, FixedDiskThatAnswersAtaIdentifyIsASataDriveBehindABridge) {
  ScriptedBridges::answering = {};
  tree.disks[node.physicalPath].inquiry = InquiryData("Generic", "External", 0, 0);
  tree.disks[node.physicalPath].satIdentify = AtaIdentifyData("Samsung SSD 870 EVO", "SVT01B6Q");
  EXPECT_EQ(Run().kind, DiskKind::kUsbAta);

  tree.disks[node.physicalPath].inquiry = InquiryData("JMicron", "Generic", 0x35, 0x35);
  EXPECT_EQ(Run().kind, DiskKind::kUsbAta);  // a JMicron bridge may carry SATA as well

  tree.disks[node.physicalPath].inquiry = InquiryData("ASMT", "ASM2362", 0x60, 0x23);
  EXPECT_EQ(Run().kind, DiskKind::kAsm2362);  // NVMe bridges are not asked
}

TEST_F(UsbClassify, NoSataCheckForRemovableEmptyOrSilentDisks) {
  ScriptedBridges::answering = {};
  testing::FakeDisk& disk = tree.disks[node.physicalPath];
  disk.inquiry = InquiryData("JMicron", "Generic", 0x35, 0x35);
  EXPECT_EQ(Run().kind, DiskKind::kJmi);  // no IDENTIFY DEVICE answer

  disk.satIdentify = AtaIdentifyData("", "");
  EXPECT_EQ(Run().kind, DiskKind::kJmi);  // an empty model does not count

  disk.satIdentify = AtaIdentifyData("Crucial MX500", "M3CR046");
  node.removable = true;
  EXPECT_EQ(Run().kind, DiskKind::kJmi);
  node.removable = false;
  node.lengthBytes = 0;
  EXPECT_EQ(Run().kind, DiskKind::kJmi);
}

TEST_F(UsbClassify, AFixedDiskWithoutSignatureAsksTheBridges) {
  tree.disks[node.physicalPath].inquiry = InquiryData("Realtek", "USB Disk", 0, 0);
  ScriptedBridges::answering = {BridgeForm::kRtl9210};
  ScriptedBridges::data = testing::IdentifyControllerData(0x10EC, "RTL NVMe", "1.0");
  EXPECT_EQ(Run().kind, DiskKind::kRtl9210);

  tree.disks[node.physicalPath].inquiry = InquiryData("Realtek", "USB Disk", 0, 0, true);
  EXPECT_EQ(Run().kind, DiskKind::kFlashDrive);  // removable: not asked
}

TEST_F(UsbClassify, APathThatDoesNotOpenIsAFlashDrive) {
  ScriptedBridges::answering = {BridgeForm::kAsmediaThreePhase};
  EXPECT_EQ(Run().kind, DiskKind::kFlashDrive);
}

TEST(Location, PciAddressFromTheLocationText) {
  struct Case {
    std::string text;
    std::optional<uint32_t> location;
  };
  const Case cases[] = {
      {"@System32\\drivers\\pci.sys,#65536;PCI bus %1, device %2, function %3;(3,0,0)", 0x0300},
      {"PCI bus 3, device 0, function 0 (3,0,0)", 0x0300},
      {"(0,29,4)", 29 * 8 + 4},
      {"( 3, 0, 0 )", 0x0300},
      {"(1,2,3) and then (4,5,6)", 4 * 256 + 5 * 8 + 6},
      {"(255,31,7)", 0xFFFF},
      {"PCI bus 3, device 0, function 0", std::nullopt},
      {"(3,0)", std::nullopt},
      {"(3,0,0,1)", std::nullopt},
      {"(3,x,0)", std::nullopt},
      {"(3,,0)", std::nullopt},
      {"(-3,0,0)", std::nullopt},
      {"(256,0,0)", std::nullopt},
      {"(3,0,0", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(PciLocationFromText(c.text), c.location);
  }
}

TEST(Location, ByKind) {
  platform::DiskNode node = Node(0, bus::kNvme, "stornvme");
  node.parent.locationInformation = "(3,0,0)";
  node.parent.busAddress = 0x0002001F;
  node.usbPorts = {2};
  node.usbHostController = 1;
  EXPECT_EQ(LocationOf(node, DiskKind::kNvm), 0x0300u);
  EXPECT_EQ(LocationOf(node, DiskKind::kIrstNvm), 0x0300u);
  EXPECT_EQ(LocationOf(node, DiskKind::kAta), 0x0002u);     // high 16 bits
  EXPECT_EQ(LocationOf(node, DiskKind::kUsbAta), 0x001Fu);  // low 16 bits
  EXPECT_EQ(LocationOf(node, DiskKind::kFlashDrive), 0x001Fu);
  EXPECT_EQ(LocationOf(node, DiskKind::kJmi), 102u);
  node.parent.locationInformation = "no address";
  EXPECT_EQ(LocationOf(node, DiskKind::kNvm), 0u);
}

TEST(Location, UsbChainPacking) {
  EXPECT_EQ(PackUsbLocation({3, 4}, 1), 10403u);
  EXPECT_EQ(PackUsbLocation({2}, 1), 102u);
  EXPECT_EQ(PackUsbLocation({}, 2), 2u);
  // Too deep for 32 bits: the parts nearest the disk stay, the disk's own port last.
  EXPECT_EQ(PackUsbLocation({1, 2, 3, 4, 5}, 1), 504030201u);
}

}  // namespace
}  // namespace kestrune::disk
