// The drive power commands through the power hub, the USB relay boards and the USB bridges:
// SSDPowerOff, SSDPowerOn, SSDPowerReLink, RelayPowerOff, RelayPowerOn, IsRelayPowerOn,
// IsRelayExisted and SetPowerHub.
#pragma once

#include <vector>

#include "engine/command_table.h"

namespace kestrune::devcmd {

// Registers the handlers, makes the station state and adds the hooks that report the delayed
// actions' failures on the run thread. Call once at start-up, before any run. The rows that took
// nothing (none in a sound build).
[[nodiscard]] std::vector<engine::HandlerRow> RegisterPowerHubCommands(engine::Interpreter& interp);

}  // namespace kestrune::devcmd
