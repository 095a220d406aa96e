#include "engine/file_lookup.h"

#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::engine {

std::optional<std::string> LookupFile(const std::string& name, const LookupFolders& folders) {
  if (name.empty()) return std::nullopt;
  bool fullPath = name.find(':') != std::string::npos || name.front() == '/';
  if (fullPath) {
    if (platform::FileExists(name)) return name;
    if (name.find(':') != std::string::npos) return std::nullopt;
  }
  for (const std::string* folder : {&folders.scriptFolder, &folders.logFolder, &folders.programFolder}) {
    if (folder->empty()) continue;
    if (folder == &folders.logFolder && folders.logFolder == folders.scriptFolder) continue;
    std::string candidate = platform::JoinPath(*folder, name);
    if (platform::FileExists(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace kestrune::engine
