// The files that the File parameters of the general commands name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/host.h"

namespace kestrune::engine {

class Interpreter;

// A full path: it holds ":" (a drive or the lookup's own rule), or starts with "/" or "\" (a root
// or a UNC "\\server\share" path).
bool IsFullPath(std::string_view path);

// The file a command writes: a full path stays as it is, any other name is taken in the view's log
// folder (whose files travel with the run's logs).
std::string OutputFilePath(Interpreter& interp, uint32_t view, std::string_view name);

// An empty file name asks the operator to choose a file. An unattended run has nobody to ask, and
// its answer is "cancelled", which cancels the run; the command then writes nothing.
void CancelFileChoice(Interpreter& interp, uint32_t view);

// Serialises the read-change-write of data files (INI, CSV) between the instances that run side by
// side on one PC, so that none loses another's update. Null when the lock could not be had in time;
// the write goes ahead then (it is still atomic on its own).
std::unique_ptr<platform::NamedLock> LockDataFiles(Interpreter& interp);

}  // namespace kestrune::engine
