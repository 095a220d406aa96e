// The device tree of the machine the program runs on: the system's own disks, as the platform's
// backend enumerates them. Start-up uses it unless the simulated lab is asked for ("/sim").
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/device.h"

namespace kestrune::platform {

// The backend of this system; nullptr when the build has none. namedTargets are the targets the
// command line names: disks the backend leaves out of its list on its own (Linux loop devices) are
// listed when named there.
std::unique_ptr<DeviceTree> CreateSystemDeviceTree(const std::vector<std::string>& namedTargets = {});

}  // namespace kestrune::platform
