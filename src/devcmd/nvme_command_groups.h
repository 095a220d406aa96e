// Registration of the groups of NVMe command handlers (one per file); RegisterNvmeCommands calls
// them all.
#pragma once

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

void RegisterRawNvmeCommand(engine::Interpreter& interp);    // NVMe
void RegisterFeatureCommands(engine::Interpreter& interp);   // GetFeature, SetFeature and the fixed forms
void RegisterIdentifyCommands(engine::Interpreter& interp);  // Identify, the Identify dumps and lists
void RegisterLogPageCommands(engine::Interpreter& interp);   // GetLogPage and the log-page decoders

}  // namespace kestrune::devcmd
