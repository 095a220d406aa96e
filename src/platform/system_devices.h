// The device tree of the machine the program runs on: the system's own disks, as the platform's
// backend enumerates them. Start-up uses it unless the simulated lab is asked for ("/sim").
#pragma once

#include <memory>

#include "platform/device.h"

namespace kestrune::platform {

// The backend of this system; nullptr when the build has none.
std::unique_ptr<DeviceTree> CreateSystemDeviceTree();

}  // namespace kestrune::platform
