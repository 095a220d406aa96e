#include "platform/system_devices.h"

#include "platform/win32/win32_device_tree.h"

namespace kestrune::platform {

// Windows lists every disk of the disk class: a named target needs nothing more.
std::unique_ptr<DeviceTree> CreateSystemDeviceTree(const std::vector<std::string>&) {
  return std::make_unique<win32::Win32DeviceTree>();
}

}  // namespace kestrune::platform
