// The handler tables of the groups of ATA commands (one per file); RegisterAtaCommands registers
// them all.
#pragma once

#include <span>

#include "engine/command_table.h"

namespace kestrune::devcmd {

std::span<const engine::HandlerRow> RawAtaHandlers();       // ATA
std::span<const engine::HandlerRow> AtaSectorHandlers();    // ATARead, ATAWrite
std::span<const engine::HandlerRow> AtaIdentifyHandlers();  // Identify, IdentifyEx
std::span<const engine::HandlerRow> AtaSmartHandlers();     // SMART, SMART_Offline
std::span<const engine::HandlerRow> AtaPowerHandlers();     // STBI, IDLE
std::span<const engine::HandlerRow> AtaEraseHandlers();     // SecurErase
std::span<const engine::HandlerRow> AtaFirmwareHandlers();  // UpdateFW, FWActive

}  // namespace kestrune::devcmd
