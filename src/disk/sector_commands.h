// The block I/O commands of the current disk: LBARead, LBAWrite, TRIM and FlushCache.
#pragma once

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::disk {

// Registers the handlers with the interpreter's command table. Call once at start-up, before any run.
void RegisterSectorCommands(engine::Interpreter& interp);

}  // namespace kestrune::disk
