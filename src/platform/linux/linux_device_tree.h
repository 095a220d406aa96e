// The device tree of a Linux machine, read from sysfs and procfs: the disks of /sys/block with their
// controllers and ports (disk_nodes.h), the partitions the system uses as volumes (volumes.h), and
// the PCI mass-storage controllers as adapters. Disks are opened through their block-device nodes
// ("/dev/nvme0n1", "/dev/sdb", a partition "/dev/sdb1") or an NVMe controller node ("/dev/nvme0").
//
// Node control writes sysfs: a rescan re-scans the PCI bus, every SCSI host and every NVMe
// controller; a disk is removed by deleting its SCSI device; a controller (by its sysfs folder as
// instance id) is removed from the PCI bus, disabled by unbinding its driver and enabled by probing
// drivers for it again. None of them touches a device that holds a disk the system uses.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/partition_tool.h"
#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

struct LinuxTreeOptions {
  std::string root = "/";        // where /sys, /proc and /dev are read (tests: a fake tree)
  bool listLoopDevices = false;  // list attached loop devices as disks (tests of the sector path)
  // Loop devices listed although listLoopDevices is off: the ones a command line names as targets
  // ("/dev/loop0", any case).
  std::vector<std::string> namedDisks;
};

class LinuxDeviceTree final : public DeviceTree {
 public:
  explicit LinuxDeviceTree(LinuxTreeOptions options = {});

  DeviceSnapshot Enumerate() override;
  std::unique_ptr<Device> Open(const std::string& path, OpenAccess access) override;
  bool Rescan() override;
  bool RemoveNode(const std::string& pathOrInstanceId) override;
  bool SetNodeEnabled(const std::string& instanceId, bool enable) override;
  // The link attributes of a PCI function folder, and the functions of /sys/bus/pci (pci_devices.h).
  PciLinkReport PciLink(const std::string& instanceId) override;
  std::vector<PciDeviceNode> PciDevices() override;
  // A queue on a block device or a regular file: io_uring, else a thread pool (linux_queue.h).
  std::unique_ptr<AsyncQueue> OpenQueue(const std::string& path, const QueueOptions& options, Host& host,
                                        std::string& why) override;
  // libfdisk, the mkfs programs and mount (linux_partition_tool.cpp).
  PartitionTool* Partitioner() override;

 private:
  // Whether a controller folder (or a disk's own folder) holds a disk that the system uses: one
  // with a volume, or one the kernel will not let us claim.
  bool HoldsBusyDisk(const std::string& sysPath);

  LinuxTreeOptions options_;
  SysRoot sys_;
  std::unique_ptr<PartitionTool> partitionTool_;
};

}  // namespace kestrune::platform::linux_dev
