// The files that the File parameters of the general commands name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/ui.h"
#include "platform/host.h"

namespace kestrune::engine {

class Interpreter;

// A full path: it holds ":" (a drive or the lookup's own rule), or starts with "/" or "\" (a root
// or a UNC "\\server\share" path).
bool IsFullPath(std::string_view path);

// The file a command writes: a full path stays as it is, any other name is taken in the view's log
// folder (whose files travel with the run's logs).
std::string OutputFilePath(Interpreter& interp, uint32_t view, std::string_view name);

// A file parameter left empty asks the operator to choose the file, through the interpreter's Ui
// (choice.cancel is filled in with the view's cancel flag), and file becomes the path chosen; a
// non-empty file stays as it is. Returns false when the choice was cancelled, which cancels the run:
// the command then does nothing more. An unattended run has nobody to ask; its answer is
// "cancelled".
bool ChooseFileIfEmpty(Interpreter& interp, uint32_t view, std::string& file, FileChoice choice);

// Serialises the read-change-write of data files (INI, CSV) between the instances that run side by
// side on one PC, so that none loses another's update. Null when the lock could not be had in time
// or was refused; the write goes ahead then (it is still atomic on its own).
std::unique_ptr<platform::NamedLock> LockDataFiles(Interpreter& interp);

}  // namespace kestrune::engine
