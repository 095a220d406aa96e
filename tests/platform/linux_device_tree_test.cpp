// Enumeration of the Linux device tree on a fake machine: an NVMe drive on PCI holding "/" and
// "/boot/efi", a multipath NVMe namespace, two SATA drives on AHCI (one with a mounted partition,
// one with a swap partition), an NVMe bridge on USB behind a hub, a SAS drive under LVM, and the
// kernel's own block devices that are not disks.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "disk/disk_list.h"
#include "disk/pci_link.h"
#include "disk/port_name.h"
#include "fake_sysfs.h"
#include "platform/linux/linux_device_tree.h"

namespace kestrune::platform::testing {
namespace {

const std::string kRootPort = "/sys/devices/pci0000:00/0000:00:1c.0";
const std::string kNvmePci = kRootPort + "/0000:03:00.0";
const std::string kNvmeCtrl = kNvmePci + "/nvme/nvme0";
const std::string kNvmeDisk = kNvmeCtrl + "/nvme0n1";
const std::string kMpathPci = "/sys/devices/pci0000:00/0000:00:1d.0/0000:04:00.0";
const std::string kMpathSubsys = "/sys/devices/virtual/nvme-subsystem/nvme-subsys1";
const std::string kAhci = "/sys/devices/pci0000:00/0000:00:17.0";
const std::string kSda = kAhci + "/ata3/host2/target2:0:0/2:0:0:0/block/sda";
const std::string kSdb = kAhci + "/ata1/host0/target0:0:0/0:0:0:0/block/sdb";
const std::string kXhci = "/sys/devices/pci0000:00/0000:00:14.0";
const std::string kUsbDevice = kXhci + "/usb2/2-1/2-1.4";
const std::string kSdc = kUsbDevice + "/2-1.4:1.0/host6/target6:0:0/6:0:0:0/block/sdc";
const std::string kSas = "/sys/devices/pci0000:00/0000:00:01.0/0000:02:00.0";
const std::string kSdd = kSas + "/host1/port-1:0/end_device-1:0/target1:0:0/1:0:0:0/block/sdd";

std::string Contents(const FakeSysfs& f, const std::string& path) {
  std::ifstream in(f.root() + path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

constexpr uint32_t DevNo(uint32_t major, uint32_t minor) { return major << 20 | minor; }

void ScsiDisk(FakeSysfs& f, const std::string& blockPath, const std::string& dev, const std::string& vendor,
              const std::string& model) {
  const std::string device = blockPath.substr(0, blockPath.find("/block/"));
  f.File(device + "/vendor", vendor + "\n");
  f.File(device + "/model", model + "\n");
  f.File(device + "/type", "0\n");
  f.BlockDevice(blockPath, dev, 1000215216);
  f.Link(blockPath + "/device", device);
  f.Queue(blockPath, 512, "write back", 2147450880);
}

void BuildMachine(FakeSysfs& f) {
  f.File("/proc/sys/kernel/osrelease", "6.1.0-18-amd64\n");

  // NVMe on PCI 03:00.0, partitions for /boot/efi and /.
  f.PciFunction(kNvmePci, "0x010802", "nvme");
  f.File(kNvmeCtrl + "/model", "KESTRUNE NVME 512G                      \n");
  f.Link(kNvmeCtrl + "/device", kNvmePci);
  f.Link("/sys/class/nvme/nvme0", kNvmeCtrl);
  f.File("/dev/nvme0", "");
  f.BlockDevice(kNvmeDisk, "259:0", 1000215216);
  f.Queue(kNvmeDisk, 512, "write back", 2199023255040);
  // Its link runs at Gen3 x2 of Gen4 x4; the root port 00:1c.0 above it.
  f.File(kNvmePci + "/current_link_speed", "8.0 GT/s PCIe\n");
  f.File(kNvmePci + "/current_link_width", "2\n");
  f.File(kNvmePci + "/max_link_speed", "16.0 GT/s PCIe\n");
  f.File(kNvmePci + "/max_link_width", "4\n");
  f.PciFunction(kRootPort, "0x060400", "pcieport");
  f.BlockDevice(kNvmeDisk + "/nvme0n1p1", "259:1", 1048576, 1, 2048);
  f.BlockDevice(kNvmeDisk + "/nvme0n1p2", "259:2", 998000000, 2, 1050624);

  // A multipath namespace: the head below its subsystem, the path device hidden below controller 1.
  f.PciFunction(kMpathPci, "0x010802", "nvme");
  f.File(kMpathPci + "/nvme/nvme1/model", "KESTRUNE DUAL PORT\n");
  f.File(kMpathPci + "/nvme/nvme1/state", "live\n");
  f.Link(kMpathSubsys + "/nvme1", kMpathPci + "/nvme/nvme1");
  f.BlockDevice(kMpathSubsys + "/nvme1n1", "259:5", 7814037168);
  f.Queue(kMpathSubsys + "/nvme1n1", 4096, "write through", 0);
  f.File(kMpathSubsys + "/nvme1n1/nsid", "3\n");
  f.BlockDevice(kMpathPci + "/nvme/nvme1/nvme1c1n1", "259:4", 7814037168);
  f.File(kMpathPci + "/nvme/nvme1/nvme1c1n1/hidden", "1\n");

  // SATA on AHCI: ata3 is port index 2 and holds a mounted data partition; ata1 holds swap.
  f.PciFunction(kAhci, "0x010601", "ahci");
  f.File(kAhci + "/ata3/ata_port/ata3/port_no", "3\n");
  f.File(kAhci + "/ata1/ata_port/ata1/port_no", "1\n");
  ScsiDisk(f, kSda, "8:0", "ATA     ", "KESTRUNE SATA SSD");
  f.BlockDevice(kSda + "/sda1", "8:1", 1000000000, 1, 2048);
  ScsiDisk(f, kSdb, "8:16", "ATA     ", "KESTRUNE SWAP SSD");
  f.BlockDevice(kSdb + "/sdb1", "8:17", 8388608, 1, 2048);
  // An optical drive on the same controller.
  f.File(kAhci + "/ata2/host1/target1:0:0/1:0:0:0/type", "5\n");
  f.BlockDevice(kAhci + "/ata2/host1/target1:0:0/1:0:0:0/block/sr0", "11:0", 0);
  f.Link(kAhci + "/ata2/host1/target1:0:0/1:0:0:0/block/sr0/device", kAhci + "/ata2/host1/target1:0:0/1:0:0:0");

  // USB: an NVMe bridge on port 4 of a hub on root port 1 of bus 2 (the xHCI at 00:14.0, which
  // also carries bus 1; a second host controller at 00:0d.0 sorts first).
  f.PciFunction(kXhci, "0x0c0330", "xhci_hcd");
  f.Folder(kXhci + "/usb1");
  f.Folder(kXhci + "/usb2");
  f.Folder("/sys/devices/pci0000:00/0000:00:0d.0/usb3");
  f.Link("/sys/bus/usb/devices/usb1", kXhci + "/usb1");
  f.Link("/sys/bus/usb/devices/usb2", kXhci + "/usb2");
  f.Link("/sys/bus/usb/devices/usb3", "/sys/devices/pci0000:00/0000:00:0d.0/usb3");
  f.File(kUsbDevice + "/manufacturer", "Realtek\n");
  f.File(kUsbDevice + "/product", "RTL9210B-CG\n");
  f.Folder("/sys/bus/usb/drivers/uas");
  f.Link(kUsbDevice + "/2-1.4:1.0/driver", "/sys/bus/usb/drivers/uas");
  ScsiDisk(f, kSdc, "8:32", "Realtek ", "RTL9210B-CG     ");

  // SAS: a drive whose partition is an LVM physical volume; its logical volume is mounted on /srv.
  f.PciFunction(kSas, "0x010700", "mpt3sas");
  ScsiDisk(f, kSdd, "8:48", "SEAGATE ", "ST4000NM0025");
  f.BlockDevice(kSdd + "/sdd1", "8:49", 7814035000, 1, 2048);
  f.BlockDevice("/sys/devices/virtual/block/dm-0", "253:0", 7814000000);
  f.Link("/sys/devices/virtual/block/dm-0/slaves/sdd1", kSdd + "/sdd1");
  f.Link(kSdd + "/sdd1/holders/dm-0", "/sys/devices/virtual/block/dm-0");
  f.Link("/dev/mapper/vg-srv", "/dev/dm-0");

  // An NVMe controller without namespaces, and block devices the kernel makes itself.
  f.PciFunction("/sys/devices/pci0000:00/0000:00:1e.0/0000:05:00.0", "0x010802", "nvme");
  f.BlockDevice("/sys/devices/virtual/block/zram0", "252:0", 16777216);
  f.BlockDevice("/sys/devices/virtual/block/loop0", "7:0", 131072);
  f.File("/sys/devices/virtual/block/loop0/loop/backing_file", "/var/tmp/disk.img\n");
  f.Queue("/sys/devices/virtual/block/loop0", 4096, "write back", 4096);

  f.File("/proc/self/mountinfo",
         "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
         "23 22 259:1 / /boot/efi rw,relatime shared:2 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
         "24 22 0:5 / /dev rw,nosuid shared:3 - devtmpfs udev rw,size=8000000k\n"
         "25 22 8:1 / /mnt/data\\040space rw,relatime shared:4 - xfs /dev/sda1 rw\n"
         "26 22 253:0 / /srv rw,relatime shared:5 - ext4 /dev/mapper/vg-srv rw\n"
         "27 22 0:44 /var /var/lib/bound rw,relatime shared:1 - btrfs /dev/nvme0n1p2 rw\n"
         "malformed line\n");
  f.File("/proc/swaps",
         "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n"
         "/dev/sdb1                               partition\t4194300\t\t1024\t\t-2\n"
         "/dev/zram0                              partition\t8388604\t\t0\t\t100\n");
}

class LinuxTreeTest : public ::testing::Test {
 protected:
  LinuxTreeTest() { BuildMachine(fake); }

  linux_dev::LinuxDeviceTree Tree(bool loops = false) {
    return linux_dev::LinuxDeviceTree({fake.root(), loops, {}});
  }

  static const DiskNode& Disk(const DeviceSnapshot& s, const std::string& path) {
    auto it = std::find_if(s.disks.begin(), s.disks.end(), [&](const DiskNode& d) { return d.physicalPath == path; });
    if (it == s.disks.end()) throw std::runtime_error("no disk " + path);
    return *it;
  }

  static std::vector<const VolumeNode*> VolumesOf(const DeviceSnapshot& s, uint32_t diskNumber) {
    std::vector<const VolumeNode*> out;
    for (const VolumeNode& v : s.volumes)
      if (v.diskNumber == diskNumber) out.push_back(&v);
    return out;
  }

  FakeSysfs fake;
};

TEST_F(LinuxTreeTest, ListsDisksOnlyInNaturalOrder) {
  DeviceSnapshot s = Tree().Enumerate();
  std::vector<std::string> paths;
  for (const DiskNode& d : s.disks) paths.push_back(d.physicalPath);
  EXPECT_EQ(paths, (std::vector<std::string>{"/dev/sda", "/dev/sdb", "/dev/sdc", "/dev/sdd", "/dev/nvme0n1",
                                             "/dev/nvme1n1"}));

  DeviceSnapshot withLoops = Tree(true).Enumerate();
  ASSERT_EQ(withLoops.disks.size(), 7u);
  const DiskNode& loop = Disk(withLoops, "/dev/loop0");
  EXPECT_EQ(loop.busType, 15u);
  EXPECT_EQ(loop.sectorSize, 4096u);
  EXPECT_EQ(loop.friendlyName, "Loop Device /var/tmp/disk.img");
}

TEST_F(LinuxTreeTest, NvmeOnPci) {
  DeviceSnapshot s = Tree().Enumerate();
  const DiskNode& d = Disk(s, "/dev/nvme0n1");
  EXPECT_EQ(d.friendlyName, "KESTRUNE NVME 512G");
  EXPECT_EQ(d.controllerPath, "/dev/nvme0");
  EXPECT_EQ(d.deviceNumber, DevNo(259, 0));
  EXPECT_EQ(d.busType, bus::kNvme);
  EXPECT_EQ(d.lengthBytes, 1000215216ull * 512);
  EXPECT_EQ(d.sectorSize, 512u);
  EXPECT_FALSE(d.hasScsiAddress);
  EXPECT_FALSE(d.removable);
  EXPECT_EQ(d.parent.name, "NVM Express Controller");
  EXPECT_EQ(d.parent.instanceId, kNvmePci);
  EXPECT_EQ(d.parent.driverService, "nvme");
  EXPECT_EQ(d.parent.locationInformation, "PCI bus 3, device 0, function 0 (3,0,0)");
  EXPECT_EQ(d.parent.driverVersion, (6ull << 48) | (1ull << 32) | 18);
}

TEST_F(LinuxTreeTest, MultipathNamespaceFindsItsLiveController) {
  DeviceSnapshot s = Tree().Enumerate();
  const DiskNode& d = Disk(s, "/dev/nvme1n1");
  EXPECT_EQ(d.namespaceId, 3u);                        // its "nsid" attribute
  EXPECT_EQ(Disk(s, "/dev/nvme0n1").namespaceId, 0u);  // neither the node nor sysfs tells
  EXPECT_EQ(d.friendlyName, "KESTRUNE DUAL PORT");
  EXPECT_EQ(d.controllerPath, "/dev/nvme1");
  EXPECT_EQ(d.sectorSize, 4096u);
  EXPECT_EQ(d.parent.locationInformation, "PCI bus 4, device 0, function 0 (4,0,0)");
}

TEST_F(LinuxTreeTest, PciLinkIsTheFunctionsLinkAttributes) {
  linux_dev::LinuxDeviceTree tree = Tree();
  const PciLinkReport link = tree.PciLink(kNvmePci);
  EXPECT_EQ(link.currentSpeed.text, "8.0 GT/s PCIe");
  EXPECT_EQ(link.currentWidth, 2u);
  EXPECT_EQ(link.maxSpeed.text, "16.0 GT/s PCIe");
  EXPECT_EQ(link.maxWidth, 4u);
  EXPECT_EQ(tree.PciLink(kAhci).currentSpeed.text, "");  // no link attributes
  EXPECT_EQ(tree.PciLink(kNvmeCtrl).maxSpeed.text, "");  // not a PCI function folder
  EXPECT_EQ(tree.PciLink(kUsbDevice).currentWidth, 0u);

  // Through the inventory: the entry's parent node is the PCI function.
  std::vector<disk::DiskEntry> list;
  ASSERT_GT(disk::BuildDiskList(tree, list), 0);
  auto nvme = std::find_if(list.begin(), list.end(),
                           [](const disk::DiskEntry& e) { return e.devicePath == "/dev/nvme0n1"; });
  ASSERT_NE(nvme, list.end());
  EXPECT_EQ(disk::PciLinkStatus(tree, *nvme), (disk::PciLinks{{3, 2}, {4, 4}}));
  EXPECT_EQ(nvme->namespaceId, 1u);  // not told: namespace 1
}

TEST_F(LinuxTreeTest, UpstreamPortIsTheBridgeFolderAbove) {
  linux_dev::LinuxDeviceTree tree = Tree();
  EXPECT_EQ(disk::UpstreamPortLocation(tree, 0x0300), 0x1Cu * 8);  // 03:00.0 below 00:1c.0
  EXPECT_EQ(disk::UpstreamPortLocation(tree, 0x0400), 0x1Du * 8);  // 04:00.0 below 00:1d.0
  EXPECT_EQ(disk::UpstreamPortLocation(tree, 0x1Cu * 8), 0u);      // a root port sits on the host bridge
  EXPECT_EQ(disk::UpstreamPortLocation(tree, 0x0900), 0u);         // no such device
  std::vector<PciDeviceNode> devices = tree.PciDevices();
  auto port = std::find_if(devices.begin(), devices.end(),
                           [](const PciDeviceNode& d) { return d.instanceId == kRootPort; });
  ASSERT_NE(port, devices.end());
  EXPECT_EQ(port->locationInformation, "PCI bus 0, device 28, function 0 (0,28,0)");
  EXPECT_EQ(port->parentLocationInformation, "");
}

TEST_F(LinuxTreeTest, ALoopDeviceIsListedWhenNamedAndIsNeverTheSystemDisk) {
  fake.File("/proc/self/mountinfo", "22 1 7:0 / / rw - ext4 /dev/loop0 rw\n");
  auto paths = [&](std::vector<std::string> named) {
    linux_dev::LinuxTreeOptions options{fake.root(), false, {}};
    options.namedDisks = std::move(named);
    std::vector<std::string> out;
    for (const DiskNode& d : linux_dev::LinuxDeviceTree(options).Enumerate().disks)
      out.push_back(d.physicalPath);
    return out;
  };
  const std::vector<std::string> plain = paths({});
  EXPECT_EQ(std::count(plain.begin(), plain.end(), "/dev/loop0"), 0);
  const std::vector<std::string> named = paths({"/DEV/LOOP0"});  // command-line selectors are upper-cased
  EXPECT_EQ(std::count(named.begin(), named.end(), "/dev/loop0"), 1);
  EXPECT_EQ(named.size(), plain.size() + 1);
  const std::vector<std::string> other = paths({"/dev/loop1", "/dev/sda"});
  EXPECT_EQ(other, plain);

  linux_dev::LinuxTreeOptions options{fake.root(), false, {}};
  options.namedDisks = {"/dev/loop0"};
  linux_dev::LinuxDeviceTree tree(options);
  std::vector<disk::DiskEntry> list;
  ASSERT_GT(disk::BuildDiskList(tree, list), 0);
  auto loop = std::find_if(list.begin(), list.end(), [](const disk::DiskEntry& e) {
    return e.entryKind == disk::EntryKind::kPhysical && e.devicePath == "/dev/loop0";
  });
  ASSERT_NE(loop, list.end());
  EXPECT_EQ(loop->diskKind, disk::DiskKind::kUnclassified);
  EXPECT_FALSE(loop->raw);         // mounted
  EXPECT_FALSE(loop->systemDisk);  // even on "/"
  EXPECT_EQ(loop->volumeLetters, "/ ");
}

TEST_F(LinuxTreeTest, SataOnAhciNamesThePortIndex) {
  DeviceSnapshot s = Tree().Enumerate();
  const DiskNode& d = Disk(s, "/dev/sda");
  EXPECT_EQ(d.friendlyName, "KESTRUNE SATA SSD");
  EXPECT_EQ(d.busType, bus::kSata);
  ASSERT_TRUE(d.hasScsiAddress);
  EXPECT_EQ(d.scsiPort, 2u);
  EXPECT_EQ(d.pathId, 2u);  // port_no 3 is the third port, index 2
  EXPECT_EQ(d.targetId, 0u);
  EXPECT_EQ(d.lun, 0u);
  EXPECT_EQ(d.parent.name, "SATA AHCI Controller");
  EXPECT_EQ(d.parent.driverService, "ahci");
  EXPECT_EQ(d.parent.busAddress, 2u << 16);
  EXPECT_EQ(Disk(s, "/dev/sdb").pathId, 0u);
}

TEST_F(LinuxTreeTest, UsbBridgeCarriesItsPortChain) {
  DeviceSnapshot s = Tree().Enumerate();
  const DiskNode& d = Disk(s, "/dev/sdc");
  EXPECT_EQ(d.friendlyName, "Realtek RTL9210B-CG USB Device");
  EXPECT_EQ(d.busType, bus::kUsb);
  EXPECT_EQ(d.usbPorts, (std::vector<uint32_t>{4, 1}));
  EXPECT_EQ(d.usbHostController, 2u);
  EXPECT_EQ(d.parent.name, "Realtek RTL9210B-CG");
  EXPECT_EQ(d.parent.instanceId, kUsbDevice);
  EXPECT_EQ(d.parent.driverService, "uas");
  EXPECT_EQ(d.parent.locationInformation, "Port_#0004.Hub_#0002");
  EXPECT_EQ(d.parent.busAddress, 4u);
}

TEST_F(LinuxTreeTest, SasDiskBelowItsHostAdapter) {
  DeviceSnapshot s = Tree().Enumerate();
  const DiskNode& d = Disk(s, "/dev/sdd");
  EXPECT_EQ(d.friendlyName, "SEAGATE ST4000NM0025");
  EXPECT_EQ(d.busType, bus::kSas);
  EXPECT_EQ(d.scsiPort, 1u);
  EXPECT_EQ(d.parent.driverService, "mpt3sas");
  EXPECT_EQ(d.parent.name, "Serial Attached SCSI Controller");
}

TEST_F(LinuxTreeTest, VolumesAreTheMountedSwapAndHeldPartitions) {
  DeviceSnapshot s = Tree().Enumerate();

  std::vector<const VolumeNode*> nvme = VolumesOf(s, DevNo(259, 0));
  ASSERT_EQ(nvme.size(), 2u);
  EXPECT_EQ(nvme[0]->letter, "/boot/efi");
  EXPECT_EQ(nvme[0]->path, "/dev/nvme0n1p1");
  EXPECT_TRUE(nvme[0]->holdsSystem);
  EXPECT_EQ(nvme[1]->letter, "/");  // also bound at /var/lib/bound: the shorter mount point names it
  EXPECT_EQ(nvme[1]->path, "/dev/nvme0n1p2");
  EXPECT_EQ(nvme[1]->partitionOffset, 1050624ull * 512);
  EXPECT_TRUE(nvme[1]->holdsSystem);
  EXPECT_TRUE(nvme[1]->onListedDisk);
  EXPECT_FALSE(nvme[1]->softwareRaid);

  std::vector<const VolumeNode*> sda = VolumesOf(s, DevNo(8, 0));
  ASSERT_EQ(sda.size(), 1u);
  EXPECT_EQ(sda[0]->letter, "/mnt/data space");
  EXPECT_EQ(sda[0]->path, "/dev/sda1");
  EXPECT_EQ(sda[0]->partitionOffset, 2048u * 512);
  EXPECT_FALSE(sda[0]->holdsSystem);

  std::vector<const VolumeNode*> swap = VolumesOf(s, DevNo(8, 16));
  ASSERT_EQ(swap.size(), 1u);
  EXPECT_EQ(swap[0]->letter, "[SWAP]");
  EXPECT_EQ(swap[0]->path, "/dev/sdb1");
  EXPECT_TRUE(swap[0]->holdsSystem);
  EXPECT_EQ(swap[0]->totalBytes, 4194300ull * 1024);
  EXPECT_EQ(swap[0]->freeBytes, (4194300ull - 1024) * 1024);

  std::vector<const VolumeNode*> lvm = VolumesOf(s, DevNo(8, 48));
  ASSERT_EQ(lvm.size(), 1u);
  EXPECT_EQ(lvm[0]->letter, "/srv");
  EXPECT_EQ(lvm[0]->path, "/dev/dm-0");
  EXPECT_TRUE(lvm[0]->softwareRaid);
  EXPECT_FALSE(lvm[0]->holdsSystem);

  EXPECT_TRUE(VolumesOf(s, DevNo(8, 32)).empty());  // the USB disk is untouched: RAW
  EXPECT_EQ(s.volumes.size(), 5u);                   // nothing for zram swap, devtmpfs or the bad line
}

TEST_F(LinuxTreeTest, AnUnmountedLogicalVolumeStillHoldsItsDisk) {
  fake.File("/proc/self/mountinfo", "22 1 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n");
  DeviceSnapshot s = Tree().Enumerate();
  std::vector<const VolumeNode*> lvm = VolumesOf(s, DevNo(8, 48));
  ASSERT_EQ(lvm.size(), 1u);
  EXPECT_EQ(lvm[0]->letter, "[dm-0]");
  EXPECT_EQ(lvm[0]->path, "/dev/dm-0");
  EXPECT_TRUE(lvm[0]->softwareRaid);
}

TEST_F(LinuxTreeTest, AdaptersAreThePciStorageControllers) {
  DeviceSnapshot s = Tree().Enumerate();
  std::vector<std::string> ids;
  for (const AdapterNode& a : s.adapters) ids.push_back(a.instanceId);
  EXPECT_EQ(ids.size(), 5u);  // NVMe x3, AHCI, SAS; not the USB host controller
  auto empty = std::find_if(s.adapters.begin(), s.adapters.end(), [](const AdapterNode& a) {
    return a.instanceId == "/sys/devices/pci0000:00/0000:00:1e.0/0000:05:00.0";
  });
  ASSERT_NE(empty, s.adapters.end());
  EXPECT_EQ(empty->description, "NVM Express Controller");
  EXPECT_TRUE(empty->childDiskNumbers.empty());
  auto ahci = std::find_if(s.adapters.begin(), s.adapters.end(),
                           [](const AdapterNode& a) { return a.instanceId == kAhci; });
  ASSERT_NE(ahci, s.adapters.end());
  EXPECT_EQ(ahci->childDiskNumbers, (std::vector<uint32_t>{DevNo(8, 0), DevNo(8, 16)}));
}

// The whole inventory over the fake machine: kinds, port names, RAW and system flags.
TEST_F(LinuxTreeTest, InventoryClassifiesAndNamesTheDisks) {
  linux_dev::LinuxDeviceTree tree = Tree();
  std::vector<disk::DiskEntry> list;
  ASSERT_GT(disk::BuildDiskList(tree, list), 0);
  auto entry = [&](const std::string& path) -> const disk::DiskEntry& {
    for (const disk::DiskEntry& e : list)
      if (e.entryKind == disk::EntryKind::kPhysical && e.physicalPath == path) return e;
    throw std::runtime_error("no entry " + path);
  };
  const disk::DiskEntry& nvme = entry("/dev/nvme0n1");
  EXPECT_EQ(nvme.diskKind, disk::DiskKind::kNvm);
  EXPECT_EQ(disk::ComputedPortName(nvme), "PCIE-03:00.0");
  EXPECT_TRUE(nvme.systemDisk);
  EXPECT_FALSE(nvme.raw);
  EXPECT_EQ(nvme.volumeLetters, "/boot/efi / ");

  const disk::DiskEntry& sata = entry("/dev/sda");
  EXPECT_EQ(sata.diskKind, disk::DiskKind::kAta);
  EXPECT_EQ(disk::ComputedPortName(sata), "SATA2");
  EXPECT_FALSE(sata.systemDisk);
  EXPECT_FALSE(sata.raw);

  EXPECT_TRUE(entry("/dev/sdb").systemDisk);  // swap

  const disk::DiskEntry& usb = entry("/dev/sdc");
  EXPECT_EQ(usb.diskKind, disk::DiskKind::kFlashDrive);  // no device node to ask: no bridge signature
  EXPECT_EQ(disk::ComputedPortName(usb), "USB-4");
  EXPECT_TRUE(usb.raw);

  EXPECT_EQ(entry("/dev/sdd").diskKind, disk::DiskKind::kUsbAta);  // SAS bus
}

TEST_F(LinuxTreeTest, OpensNoFileThatIsNotADevice) {
  linux_dev::LinuxDeviceTree tree = Tree();
  EXPECT_EQ(tree.Open("/dev/sda", OpenAccess::kRead), nullptr);  // a plain file in the fake tree
  EXPECT_EQ(tree.Open("/dev/missing", OpenAccess::kReadWrite), nullptr);
  EXPECT_EQ(tree.Open("relative/path", OpenAccess::kRead), nullptr);
}

TEST_F(LinuxTreeTest, NodeControlWritesSysfsAndSparesBusyDisks) {
  const std::string deleteFile = kSdc.substr(0, kSdc.find("/block/")) + "/delete";
  fake.File("/sys/bus/pci/rescan", "");
  fake.File(deleteFile, "");
  fake.File(kSas + "/remove", "");
  fake.File("/sys/bus/pci/drivers/nvme/unbind", "");
  fake.File("/sys/bus/pci/drivers_probe", "");
  linux_dev::LinuxDeviceTree tree = Tree();

  EXPECT_TRUE(tree.Rescan());
  EXPECT_EQ(Contents(fake, "/sys/bus/pci/rescan"), "1");
  EXPECT_TRUE(tree.RemoveNode("/dev/sdc"));
  EXPECT_EQ(Contents(fake, deleteFile), "1");
  EXPECT_FALSE(tree.RemoveNode("/dev/nvme0n1"));       // a namespace goes only with its controller
  EXPECT_FALSE(tree.RemoveNode(kSas));                 // holds the mounted LVM volume
  EXPECT_EQ(Contents(fake, kSas + "/remove"), "");
  EXPECT_FALSE(tree.SetNodeEnabled(kNvmePci, false));  // holds "/"
  EXPECT_EQ(Contents(fake, "/sys/bus/pci/drivers/nvme/unbind"), "");
  EXPECT_TRUE(tree.SetNodeEnabled(kMpathPci, false));
  EXPECT_EQ(Contents(fake, "/sys/bus/pci/drivers/nvme/unbind"), "0000:04:00.0");
  EXPECT_TRUE(tree.SetNodeEnabled(kNvmePci, true));    // still bound: nothing to do
  EXPECT_EQ(Contents(fake, "/sys/bus/pci/drivers_probe"), "");
  EXPECT_FALSE(tree.RemoveNode("/etc/passwd"));
}

}  // namespace
}  // namespace kestrune::platform::testing
