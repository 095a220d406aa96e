// Finding the files that command parameters name.
#pragma once

#include <optional>
#include <string>

namespace kestrune::engine {

struct LookupFolders {
  std::string scriptFolder;
  std::string logFolder;
  std::string programFolder;
};

// A name that is a full path (holds ":" or starts with "/") and exists is used unchanged; otherwise
// it is looked for in the script folder, then the log folder (when it differs), then the program's
// folder. Returns the full path of the first hit, nullopt when none.
std::optional<std::string> LookupFile(const std::string& name, const LookupFolders& folders);

}  // namespace kestrune::engine
