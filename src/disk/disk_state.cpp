#include "disk/disk_state.h"

#include "disk/port_map.h"
#include "engine/interpreter.h"

namespace kestrune::disk {

std::string PortMapFolderOf(const DiskState& state) {
  return state.portMapFolder.empty() ? PortMapFolder() : state.portMapFolder;
}

std::string PortMapPathOf(const DiskState& state) {
  std::string folder = PortMapFolderOf(state);
  return folder.empty() ? std::string() : platform::JoinPath(folder, kPortMapFileName);
}

DiskState& StateOf(engine::Interpreter& interp) {
  DiskState& state = interp.State<DiskState>();
  interp.SetCurrentDiskQuery(&state);
  return state;
}

void SetCurrentDisk(engine::Interpreter& interp, const DiskEntry& entry) {
  DiskState& state = StateOf(interp);
  state.current = entry;
  state.hasCurrent = true;
}

}  // namespace kestrune::disk
