// Where the disk list comes from: the simulated lab ("/sim", "/sim=FILE.ini") or the system's own
// disks.
#pragma once

#include <memory>
#include <string>

#include "app/command_line.h"
#include "platform/device.h"
#include "platform/host.h"

namespace kestrune::app {

struct DiskSource {
  std::unique_ptr<platform::DeviceTree> tree;  // nullptr: no disk source
  std::string error;                           // set when the chosen source could not be opened
};

// Opens the source the command line asks for. The lab keeps its drives' sparse files in a folder
// below workFolder.
DiskSource OpenDiskSource(const CommandLine& cl, const std::string& workFolder, platform::Host& host);

}  // namespace kestrune::app
