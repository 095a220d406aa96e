#include "platform/system_devices.h"

#include "platform/win32/win32_device_tree.h"

namespace kestrune::platform {

std::unique_ptr<DeviceTree> CreateSystemDeviceTree() { return std::make_unique<win32::Win32DeviceTree>(); }

}  // namespace kestrune::platform
