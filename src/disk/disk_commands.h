// The script commands of the disk inventory: DiskList, ChangeDisk, RegPortName, ReScanDriver and
// the queries about the current disk (IsRAWDisk, IsNVMEDisk, IsUSBPort, IsDiskExist, IsROMDrive,
// IsFWCfgDisk, GetSocID / VSC_GetSocID, GetConfigType, GetSSDState).
#pragma once

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::disk {

// Registers the handlers with the interpreter's command table. Call once at start-up, before any run.
void RegisterDiskCommands(engine::Interpreter& interp);

// The query commands alone (part of RegisterDiskCommands).
void RegisterDiskQueries(engine::Interpreter& interp);

}  // namespace kestrune::disk
