// The PCI Express link of a disk's controller and its upstream port, read from what a device tree
// reports: speed words and codes to generations, and the location of the PCI device above.
#include "disk/pci_link.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "fake_device_tree.h"

namespace kestrune::disk {
namespace {

using platform::LinkSpeedReport;

TEST(PciLink, SpeedsMapToGenerations) {
  struct Case {
    LinkSpeedReport speed;
    uint32_t generation;
  };
  const Case cases[] = {
      // Words as Linux writes them (and as older kernels did), and the lab's.
      {{"2.5 GT/s PCIe", 0}, 1},
      {{"5.0 GT/s PCIe", 0}, 2},
      {{"8.0 GT/s PCIe", 0}, 3},
      {{"16.0 GT/s PCIe", 0}, 4},
      {{"32.0 GT/s PCIe", 0}, 5},
      {{"64.0 GT/s PCIe", 0}, 6},
      {{"5 GT/s", 0}, 2},
      {{"8 GT/s", 0}, 3},
      {{"2.50 GT/s", 0}, 1},
      {{"16.0GT/s", 0}, 4},
      {{"Unknown", 0}, 0},
      {{"Unknown speed", 0}, 0},
      {{"128.0 GT/s PCIe", 0}, 0},
      {{"8.5 GT/s", 0}, 0},
      {{"8.0", 0}, 0},
      {{"80 GT/s", 0}, 0},
      {{"2.55 GT/s", 0}, 0},
      {{"GT/s", 0}, 0},
      // Codes as Windows gives them; the words win when both are there.
      {{"", 1}, 1},
      {{"", 2}, 2},
      {{"", 3}, 3},
      {{"", 6}, 6},
      {{"", 0}, 0},
      {{"", 7}, 0},
      {{"Unknown", 3}, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GenerationOfSpeed(c.speed), c.generation) << "'" << c.speed.text << "' code " << c.speed.code;
}

TEST(PciLink, WidthsAreLaneCounts) {
  const std::pair<uint32_t, uint32_t> cases[] = {{1, 1},   {2, 2}, {4, 4}, {8, 8},  {12, 12}, {16, 16},
                                                 {32, 32}, {0, 0}, {3, 0}, {64, 0}, {255, 0}};
  for (const auto& [reported, lanes] : cases) EXPECT_EQ(LanesOfWidth(reported), lanes) << reported;
}

TEST(PciLink, StatusIsTheParentNodesLink) {
  testing::FakeDeviceTree tree;
  tree.links["PCI\\NVME"] = {{"8.0 GT/s PCIe", 0}, 2, {"16.0 GT/s PCIe", 0}, 4};
  tree.links["PCI\\WIN"] = {{"", 3}, 4, {"", 4}, 8};
  tree.links[""] = {{"8.0 GT/s", 0}, 4, {"8.0 GT/s", 0}, 4};
  tree.links["PCI\\RCIEP"] = {{"Unknown", 0}, 0, {"Unknown", 0}, 255};  // Linux, a function without a link
  DiskEntry e;
  e.controllerInstanceId = "PCI\\NVME";
  EXPECT_EQ(PciLinkStatus(tree, e), (PciLinks{{3, 2}, {4, 4}}));
  e.controllerInstanceId = "PCI\\WIN";
  EXPECT_EQ(PciLinkStatus(tree, e), (PciLinks{{3, 4}, {4, 8}}));
  e.controllerInstanceId = "PCI\\RCIEP";
  EXPECT_EQ(PciLinkStatus(tree, e), PciLinks{});
  e.controllerInstanceId = "USB\\BRIDGE";  // reported nothing
  EXPECT_EQ(PciLinkStatus(tree, e), PciLinks{});
  e.controllerInstanceId.clear();  // no parent node: nothing to ask
  EXPECT_EQ(PciLinkStatus(tree, e), PciLinks{});
}

TEST(PciLink, UpstreamPortIsThePciDeviceAbove) {
  testing::FakeDeviceTree tree;
  const std::string rootPort = "PCI bus 0, device 28, function 4 (0,28,4)";
  tree.pciDevices = {
      {"ROOT", rootPort, ""},
      {"NVME", "@System32\\drivers\\pci.sys,#65536;PCI bus %1, device %2, function %3;(3,0,0)", rootPort},
      {"ODD", "no location here", rootPort},
      {"RCIEP", "PCI bus 0, device 23, function 0 (0,23,0)", "ACPI root bus"},
  };
  EXPECT_EQ(UpstreamPortLocation(tree, 0x0300), 0x00E4u);  // 0 * 256 + 28 * 8 + 4
  EXPECT_EQ(UpstreamPortLocation(tree, 0x00E4), 0u);       // nothing PCI above a root port
  EXPECT_EQ(UpstreamPortLocation(tree, 0x00B8), 0u);       // the parent is no PCI device
  EXPECT_EQ(UpstreamPortLocation(tree, 0x0400), 0u);       // no device there
}

}  // namespace
}  // namespace kestrune::disk
