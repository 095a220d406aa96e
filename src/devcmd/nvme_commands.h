// The script-facing NVMe command set: raw commands, log pages, features, Identify and the log-page
// decoders, safe removal and the security erase.
#pragma once

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

// Registers every NVMe command handler with the interpreter's command table (the NVMe rows, device
// flag 241). Call once at start-up, before any run.
void RegisterNvmeCommands(engine::Interpreter& interp);

}  // namespace kestrune::devcmd
