// Which namespace of its controller an NVMe block device is.
#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

// The NSID of the namespace block device at node (a system path, "/dev/nvme0n2") whose sysfs folder
// is diskSysPath: what the NVMe driver answers to NVME_IOCTL_ID on the node, else the folder's
// "nsid" attribute; 0 when neither tells.
uint32_t NvmeNamespaceIdOf(const SysRoot& sys, const std::string& node, const std::string& diskSysPath);

}  // namespace kestrune::platform::linux_dev
