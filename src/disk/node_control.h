// Control of device nodes: re-enumeration of the device tree, removal of a disk and its
// controller, disabling and enabling a disk's parent.
#pragma once

#include <cstdint>

#include "disk/disk_entry.h"
#include "platform/device.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::disk {

// Re-enumerates the whole device tree, tells the main window that the disk list changed and waits
// 1 s. One re-enumeration at a time in the process: a caller that finds one running returns false
// at once, as does a call without a device tree.
bool Rescan(engine::Interpreter& interp);

// Removes the disk's node by its physicalPath (up to three retries, 3 s apart), then its parent
// controller and every other NVMe adapter node ("NVM" in its description) that has no disk below
// it; waits 3 s. Neither the parent nor the sweep ever removes an adapter that holds the system
// disk, and without a system disk in the snapshot (a failed or partial enumeration) the sweep is
// left out. True when an adapter node was removed.
bool RemoveDiskNode(engine::Interpreter& interp, const DiskEntry& entry);

// Disables or enables the disk's parent node; an enable goes to the node the last disable took.
// Waits 2 s afterwards. False when the system refused or there is no device tree.
bool SetParentEnabled(engine::Interpreter& interp, const DiskEntry& entry, bool enable);

}  // namespace kestrune::disk
