// The file and LBA mapping commands of NTFS volumes on the current disk: GetFileLBA (file offset to
// LBA), GetFileByLBA (LBA to the files that own it) and GetFileByMftId (one MFT record in detail).
#pragma once

#include <vector>

#include "engine/command_table.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::fsmap {

// Registers the handlers with the interpreter's command table; the rows that took nothing (none in
// a sound build). Call once at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterFsmapCommands(engine::Interpreter& interp);

// GetFileLBA with NtfsTrace FALSE asks the system's file system by default; the simulated lab has
// none of its own and answers with the NTFS walker over its volumes. Call before any run.
void UseWalkerForFileExtents(engine::Interpreter& interp);

}  // namespace kestrune::fsmap
