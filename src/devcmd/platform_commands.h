// The platform control commands: PCIInfo, SetSystem_PCISpeed, SetSystem_NVMeEnable,
// SetSystem_HMB (pci_commands.cpp) and SystemInfo (system_info_command.cpp).
#pragma once

#include <span>
#include <vector>

#include "engine/command_table.h"

namespace kestrune::devcmd {

std::span<const engine::HandlerRow> PciHandlers();
std::span<const engine::HandlerRow> SystemInfoHandlers();

// Registers the handlers and makes the platform access state (platform_access.h). Call once at
// start-up, before any run. The rows that took nothing (none in a sound build).
[[nodiscard]] std::vector<engine::HandlerRow> RegisterPlatformCommands(engine::Interpreter& interp);

}  // namespace kestrune::devcmd
