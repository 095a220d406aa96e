// Opening a file the way the desktop does (Windows: the shell's "open" verb).
#pragma once

#include <string>

namespace kestrune::platform {

#ifdef _WIN32
// Opens path with the shell's "open" verb (a program starts; a document opens in its program).
// Returns false, with the reason in error, when the shell cannot. Thread-safe.
bool ShellOpen(const std::string& path, std::string& error);
#endif

}  // namespace kestrune::platform
