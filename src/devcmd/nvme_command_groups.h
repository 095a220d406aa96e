// The handler tables of the groups of NVMe commands (one per file); RegisterNvmeCommands
// registers them all.
#pragma once

#include <span>

#include "engine/command_table.h"

namespace kestrune::devcmd {

std::span<const engine::HandlerRow> RawNvmeHandlers();   // NVMe
std::span<const engine::HandlerRow> FeatureHandlers();   // GetFeature, SetFeature and the fixed forms
std::span<const engine::HandlerRow> IdentifyHandlers();  // Identify, the Identify dumps and lists
std::span<const engine::HandlerRow> LogPageHandlers();   // the log-page decoders
std::span<const engine::HandlerRow> FirmwareHandlers();  // UpdateFWex, UpdateFW, FWActive

}  // namespace kestrune::devcmd
