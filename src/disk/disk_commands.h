// The script commands of the disk inventory: DiskList, ChangeDisk, RegPortName, ReScanDriver and
// the queries about the current disk (IsRAWDisk, IsNVMEDisk, IsUSBPort, IsDiskExist, IsROMDrive,
// IsFWCfgDisk, GetSocID / VSC_GetSocID, GetConfigType, GetSSDState).
#pragma once

#include <span>
#include <vector>

#include "engine/command_table.h"

namespace kestrune::disk {

// Registers the handlers with the interpreter's command table; the rows that took nothing (none in
// a sound build). Call once at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterDiskCommands(engine::Interpreter& interp);

// The handlers of the query commands alone (part of RegisterDiskCommands).
std::span<const engine::HandlerRow> DiskQueryHandlers();

}  // namespace kestrune::disk
