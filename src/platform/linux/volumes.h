// The volumes of the listed disks. On Linux a volume is a partition (or a whole disk) in use by the
// system:
//   - mounted: letter = the mount point ("/", "/mnt/data"; the shortest when it is mounted more than
//     once), path = its node ("/dev/sdb1"), sizes from the file system;
//   - a swap area: letter "[SWAP]", sizes from /proc/swaps;
//   - held by device-mapper, MD or bcache: the volume's path is the device at the top of the stack
//     ("/dev/dm-0") and softwareRaid is set; its letter is that device's mount point, "[SWAP]", or
//     "[dm-0]" when it is neither mounted nor swap. A stack over several disks gives a volume on each.
// holdsSystem marks "/", "/boot", "/boot/efi", "/efi" and swap (a swap file marks the volume that
// holds it), except on a loop device: a file the system reaches through one is never the system's
// disk. partitionOffset is where the partition starts on its disk.
#pragma once

#include <vector>

#include "platform/device.h"
#include "platform/linux/block_devices.h"
#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

std::vector<VolumeNode> FindVolumes(const SysRoot& sys, const std::vector<BlockDisk>& disks);

}  // namespace kestrune::platform::linux_dev
