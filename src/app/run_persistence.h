// Saving a run before the machine restarts and registering its start again (PCReBoot with
// BootContinue), and removing that registration (Exit, AutoRunOnStartup, a run that went on).
#pragma once

#include <cstdint>
#include <string>

#include "engine/interpreter.h"

namespace kestrune::app {

// The view's save id: its own when the run already has one (a run that went on after a restart),
// else the CRC-32 of the current disk's DiskIdentity text (without a disk: of the script path)
// modulo 100,000; when another disk's live registration holds that number, the next free one.
uint32_t ChooseSaveId(engine::Interpreter& interp, uint32_t view);

// The argument line a run started again gets: "SCRIPT:\"%s\", DRVHW:\"%s\", FRAME:%u/%u,
// REBOOTSYNC:%u, ERRSTOP:%d", then the disk arguments (the lab) when there are any.
std::string RestartArguments(const std::string& scriptPath, const std::string& identity, uint32_t saveId,
                             uint32_t frame, uint32_t rebootSync, int errStop, const std::string& diskArguments);

// On the run thread: counts the save, writes the view's save files and registers the start again
// under "AutoRunOnStartup_<id>". False with why when any step fails; nothing is registered then
// and the files written are removed.
bool SaveRunForRestart(engine::Interpreter& interp, uint32_t view, std::string& why);

// Removes the registration and files of a save that will not be used (a restart that failed).
// Thread-safe: it touches no view.
void DropRestartSave(engine::Interpreter& interp, uint32_t saveId);

// Removes the view's registration and the one named "AutoRunOnStartup". Silent.
void RemoveRestartRegistration(engine::Interpreter& interp, uint32_t view);

}  // namespace kestrune::app
