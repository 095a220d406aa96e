// The block devices the kernel shows in sysfs: which of them are disks the list offers, their
// partitions, and the NVMe controller behind a namespace.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

struct BlockDevice {
  std::string name;         // "sda", "nvme0n1p2"
  std::string sysPath;      // its sysfs folder, links resolved
  DevNumber dev;
  uint64_t sizeBytes = 0;   // the "size" attribute counts 512-byte units whatever the sector size
  uint64_t startBytes = 0;  // partitions: where they start on their disk
};

struct BlockDisk {
  BlockDevice disk;
  std::vector<BlockDevice> partitions;
};

// The whole disks of /sys/block that count as disks: those with a device below them (hardware) and
// NVMe namespaces, in natural name order (sda, sdb, ..., sdz, sdaa; nvme2n1 before nvme10n1).
// Never listed: hidden disks (the per-path devices of NVMe multipath), optical and floppy drives,
// eMMC boot areas, and disks made by the kernel itself (RAM, zram, device-mapper, MD, NBD);
// loop devices with a backing file only when includeLoop is set or namedLoops names their node
// ("/dev/loop0", compared without regard to case: command-line selectors are upper-cased).
std::vector<BlockDisk> ListBlockDisks(const SysRoot& sys, bool includeLoop,
                                      const std::vector<std::string>& namedLoops = {});

// One block device read from its sysfs folder; nullopt when the folder has no "dev" attribute.
std::optional<BlockDevice> ReadBlockDevice(const SysRoot& sys, const std::string& sysPath);

// The sysfs folder of the block device with this number; "" when there is none.
std::string BlockSysPath(const SysRoot& sys, DevNumber dev);

// The folder of the disk a partition lies on; a disk's own folder is returned as it is.
std::string WholeDiskSysPath(const SysRoot& sys, const std::string& sysPath);

// The sysfs folder of the NVMe controller that carries the namespace disk at diskSysPath: its parent
// folder for a namespace of one controller, the first live controller of the subsystem for a
// multipath namespace. "" when the disk is not an NVMe namespace.
std::string NvmeControllerSysPath(const SysRoot& sys, const std::string& diskSysPath);

// The names of the block devices that hold a partition or disk (device-mapper, MD, bcache); empty
// when none does.
std::vector<std::string> HoldersOf(const SysRoot& sys, const std::string& sysPath);

// Natural order of kernel names: runs of digits compare as numbers, runs of letters by length first.
bool NaturalLess(const std::string& a, const std::string& b);

// The number a disk carries in the snapshot: the kernel's own packing of its device number
// (major << 20 | minor), unique and unchanged while the disk is present.
uint32_t DeviceNumberOf(DevNumber dev);

}  // namespace kestrune::platform::linux_dev
