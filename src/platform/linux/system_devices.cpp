#include "platform/system_devices.h"

#include "platform/linux/linux_device_tree.h"

namespace kestrune::platform {

std::unique_ptr<DeviceTree> CreateSystemDeviceTree(const std::vector<std::string>& namedTargets) {
  linux_dev::LinuxTreeOptions options;
  options.namedDisks = namedTargets;
  return std::make_unique<linux_dev::LinuxDeviceTree>(std::move(options));
}

}  // namespace kestrune::platform
