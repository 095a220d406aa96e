// The disk layer's process-wide state: the device tree in use, the target filter from the
// package, the last built disk list and the current disk. Held by the interpreter
// (Interpreter::State<DiskState>()); the current disk does not change while a job runs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "disk/disk_entry.h"
#include "disk/identity_refresh.h"
#include "platform/device.h"

#include "engine/interpreter.h"

namespace kestrune::disk {

struct TargetFilter {
  std::string model;        // "**" or empty = any
  std::string socId;        // "_WithOutDrv" or "*" = any
  int protocol = 0;         // 0 all, 1 SATA, 2 NVMe
  bool listVolumes = false; // the package's DiskType is not "Drive"
};

// The one place the current disk is held; the engine asks it for the disk's kind and path.
struct DiskState final : engine::CurrentDiskQuery {
  platform::DeviceTree* tree = nullptr;   // owned by start-up; nullptr = no disk source
  TargetFilter filter;
  std::vector<DiskEntry> list;            // the most recently built list
  DiskEntry current;
  bool hasCurrent = false;
  std::string lastChosenName;             // ChangeDisk's preset

  // The maker's identification of a disk (socId, configType, vendorAux, vendorVariant,
  // currentFirmware), installed by the vendor layer; empty = nothing more is learned.
  IdentityRefresher refreshIdentity;
  // Tells the main window that the disk list changed; empty without a window.
  std::function<void()> diskListChanged;
  // Folder of PortMap.ini; empty = the user's own (PortMapFolder()).
  std::string portMapFolder;
  // The parent node a SetParentEnabled(false) disabled, for the enable that follows.
  std::string disabledParent;

  int CurrentDiskType() const override { return hasCurrent ? static_cast<int>(current.diskKind) : 0; }
  std::string CurrentDevicePath() const override { return hasCurrent ? current.devicePath : std::string(); }
};

// The folder of PortMap.ini: state.portMapFolder when set, else the user's own.
std::string PortMapFolderOf(const DiskState& state);
// The path of PortMap.ini in that folder; empty when there is no folder.
std::string PortMapPathOf(const DiskState& state);

// The state of interp (created on first use, and then answering the interpreter's questions about
// the current disk), and making entry the current disk.
DiskState& StateOf(engine::Interpreter& interp);
void SetCurrentDisk(engine::Interpreter& interp, const DiskEntry& entry);

}  // namespace kestrune::disk
