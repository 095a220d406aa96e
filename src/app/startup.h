// Program start: command line, work folder, package, script information, console form, run.
#pragma once

#include <string>
#include <vector>

#include "platform/host.h"

namespace kestrune::app {

// Exit codes of start-up failures, taken from the error table so that a station sees a failure.
inline constexpr int kExitNoScript = -11;        // "File Open Fail or File Does Not Exist"
inline constexpr int kExitBadPackage = -90;      // "Invalid Data or Signature Incorrect"
inline constexpr int kExitNotFound = -1;         // "NO FOUND ..." / no disk source

// Runs the whole program with the host's arguments and returns the process exit code.
int RunProgram(platform::Host& host);

}  // namespace kestrune::app
