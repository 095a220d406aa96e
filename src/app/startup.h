// Program start: command line, work folder, package, script information, console form, run.
#pragma once

#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "platform/host.h"

namespace kestrune::app {

// Exit codes of start-up failures, taken from the error table so that a station sees a failure.
inline constexpr int kExitNoScript = base::code::kFileOpenFailed;
inline constexpr int kExitBadPackage = base::code::kInvalidData;
inline constexpr int kExitNotFound = base::code::kOpenDiskFailed;  // "NO FOUND ..." / no disk source

// Runs the whole program with the host's arguments and returns the process exit code.
int RunProgram(platform::Host& host);

}  // namespace kestrune::app
