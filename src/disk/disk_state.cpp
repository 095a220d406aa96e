#include "disk/disk_state.h"

#include "engine/interpreter.h"

namespace kestrune::disk {

DiskState& StateOf(engine::Interpreter& interp) { return interp.State<DiskState>(); }

void SetCurrentDisk(engine::Interpreter& interp, const DiskEntry& entry) {
  DiskState& state = StateOf(interp);
  state.current = entry;
  state.hasCurrent = true;
  interp.SetCurrentDiskType(static_cast<int>(entry.diskKind));
}

}  // namespace kestrune::disk
