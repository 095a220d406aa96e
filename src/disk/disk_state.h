// The disk layer's process-wide state: the device tree in use, the target filter from the
// package, the last built disk list and the current disk. Held by the interpreter
// (Interpreter::State<DiskState>()); the current disk does not change while a job runs.
#pragma once

#include <string>
#include <vector>

#include "disk/disk_entry.h"
#include "platform/device.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::disk {

struct TargetFilter {
  std::string model;        // "**" or empty = any
  std::string socId;        // "_WithOutDrv" or "*" = any
  int protocol = 0;         // 0 all, 1 SATA, 2 NVMe
  bool listVolumes = false; // the package's DiskType is not "Drive"
};

struct DiskState {
  platform::DeviceTree* tree = nullptr;   // owned by start-up; nullptr = no disk source
  TargetFilter filter;
  std::vector<DiskEntry> list;            // the most recently built list
  DiskEntry current;
  bool hasCurrent = false;
  std::string lastChosenName;             // ChangeDisk's preset
};

// The state of interp, and making entry the current disk (also tells the interpreter its kind).
DiskState& StateOf(engine::Interpreter& interp);
void SetCurrentDisk(engine::Interpreter& interp, const DiskEntry& entry);

}  // namespace kestrune::disk
