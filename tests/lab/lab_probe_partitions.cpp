// The probe runs the device backend alone in the guest, statically linked; libfdisk has no static
// library, so the probe's tree has no partition tool (the probe never partitions anything).
#include "platform/linux/linux_device_tree.h"

namespace kestrune::platform::linux_dev {

PartitionTool* LinuxDeviceTree::Partitioner() { return nullptr; }

}  // namespace kestrune::platform::linux_dev
