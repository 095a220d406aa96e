// The portable part of the process seam: finding the program a command line names.
#include "platform/process.h"

#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::platform {
namespace {

#ifdef _WIN32
constexpr char kSearchPathSeparator = ';';
constexpr bool kTryExeExtension = true;
#else
constexpr char kSearchPathSeparator = ':';
constexpr bool kTryExeExtension = false;
#endif

// The file itself, or on Windows the file with ".exe" when the name has no extension.
std::optional<std::string> ExistingProgram(const std::string& path) {
  if (FileExists(path)) return path;
  if (kTryExeExtension) {
    size_t slash = path.find_last_of("\\/");
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
      if (FileExists(path + ".exe")) return path + ".exe";
    }
  }
  return std::nullopt;
}

}  // namespace

bool IsAbsolutePath(std::string_view path) {
  if (path.empty()) return false;
  if (path[0] == '/' || path[0] == '\\') return true;
  char c = path[0];
  return path.size() >= 2 && path[1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

std::optional<std::string> FindProgram(std::string_view name, const std::string& workingFolder,
                                       std::string_view searchPath) {
  if (name.empty()) return std::nullopt;
  std::string n(name);
  if (IsAbsolutePath(n)) return ExistingProgram(n);
  bool hasFolderPart = n.find_first_of("\\/") != std::string::npos;
  if (workingFolder.empty() && hasFolderPart) return ExistingProgram(n);
  if (!workingFolder.empty()) {
    if (auto hit = ExistingProgram(JoinPath(workingFolder, n))) return hit;
  }
  if (hasFolderPart) return std::nullopt;
  while (!searchPath.empty()) {
    size_t end = searchPath.find(kSearchPathSeparator);
    std::string_view folder = searchPath.substr(0, end);
    searchPath = end == std::string_view::npos ? std::string_view{} : searchPath.substr(end + 1);
    if (folder.empty()) continue;
    if (auto hit = ExistingProgram(JoinPath(folder, n))) return hit;
  }
  return std::nullopt;
}

}  // namespace kestrune::platform
