// The handler tables of the groups of NVMe commands (one per file); RegisterNvmeCommands
// registers them all.
#pragma once

#include <span>

#include <string_view>

#include "engine/command_table.h"
#include "engine/interpreter.h"

namespace kestrune::devcmd {

std::span<const engine::HandlerRow> RawNvmeHandlers();   // NVMe
std::span<const engine::HandlerRow> FeatureHandlers();   // GetFeature, SetFeature and the fixed forms
std::span<const engine::HandlerRow> IdentifyHandlers();  // Identify, the Identify dumps and lists
std::span<const engine::HandlerRow> LogPageHandlers();   // the log-page decoders
std::span<const engine::HandlerRow> FirmwareHandlers();  // UpdateFWex, UpdateFW, FWActive, FWImageInfo
// The maker's vendor commands: SetVSCType, GetSocID and the small VSC_ commands (vendor_commands.cpp),
// the configuration block (vendor_config_commands.cpp), the resets and mode changes
// (vendor_reset_commands.cpp), the crash dump (vendor_dump_commands.cpp) and the reading commands
// that keep a file (vendor_read_commands.cpp).
std::span<const engine::HandlerRow> VendorHandlers();
std::span<const engine::HandlerRow> VendorConfigHandlers();
std::span<const engine::HandlerRow> VendorResetHandlers();
std::span<const engine::HandlerRow> VendorDumpHandlers();
std::span<const engine::HandlerRow> VendorReadHandlers();
std::span<const engine::HandlerRow> VendorEventLogHandlers();  // vendor_event_log_command.cpp
std::span<const engine::HandlerRow> VendorMpInfoHandlers();    // vendor_mp_info_command.cpp
std::span<const engine::HandlerRow> VendorInfoHandlers();  // vendor_info_commands.cpp

// FWImageInfo( File:"" ): what an update of the current disk (NVMe or SATA) would send, and why it
// would refuse the image; sends nothing (firmware_image_info.cpp).
void FWImageInfo(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);

}  // namespace kestrune::devcmd
