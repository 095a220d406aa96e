// What the sector commands (LBARead, LBAWrite, TRIM, FlushCache) share: the reach of a path of the
// current disk, and the TRIM handler, which lives in its own file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "disk/disk_state.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::disk {

// True when there is a disk source and a current disk to work on.
inline bool HasTarget(const DiskState& state) { return state.tree != nullptr && state.hasCurrent; }

// Bytes that path of disk reaches, for range checks before anything is opened: the whole disk for
// its physical path (from the physical entry of the disk list when disk is a volume entry), the
// volume for the device path of a volume entry. nullopt when not known; the sector operations then
// check against the length the opened device reports.
std::optional<uint64_t> ExtentOf(const DiskState& state, const DiskEntry& disk, const std::string& path);

// TRIM( LBA:128, TRIMSectorCount:1 );
void TrimCommand(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);

}  // namespace kestrune::disk
