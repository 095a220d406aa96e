#include "platform/system_devices.h"

#include "platform/linux/linux_device_tree.h"

namespace kestrune::platform {

std::unique_ptr<DeviceTree> CreateSystemDeviceTree() { return std::make_unique<linux_dev::LinuxDeviceTree>(); }

}  // namespace kestrune::platform
