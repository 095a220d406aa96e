// The private work folder of a process: "<temp>/KestruneLite/<base>_<hhmmss>_<pid>".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/host.h"

namespace kestrune::app {

// The program file's base name (no folder, no extension) with every character that is not an
// ASCII letter or digit replaced by "_".
std::string CleanBaseName(std::string_view programPath);

// "<base>_<hh><mm><ss>_<pid>".
std::string WorkFolderName(std::string_view cleanBase, const platform::LocalTime& start, uint32_t pid);

// Creates the work folder below the temporary folder and returns its path; empty on failure.
std::string PrepareWorkFolder(platform::Host& host);

}  // namespace kestrune::app
