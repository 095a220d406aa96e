// The debug archive of a windowed run (debug level 1): the script is copied into the log folder, the
// folder's files are packed into a ZIP archive named like the folder, and the archive's bytes,
// scrambled like a script, become "<folder name>.datx" in the program's folder. The archive is built
// in memory, so no ".zip" is left behind.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune::app {

// Files larger than this stay out of the archive (a test file or a drive image in the log folder).
inline constexpr uint64_t kArchiveFileLimit = 64ull << 20;

// Writes the archive; returns its path, or "" with why when it could not be written.
std::string WriteRunArchive(const std::string& scriptPath, const std::string& logFolder,
                            const std::string& programFolder, std::string& why);

}  // namespace kestrune::app
