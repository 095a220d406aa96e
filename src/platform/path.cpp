#include "platform/host.h"

namespace kestrune::platform {

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '/' && out.back() != '\\') out += kPathSeparator;
  out += name;
  return out;
}

std::string FolderOf(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string(".") : std::string(path.substr(0, slash));
}

std::string FileNameOf(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace kestrune::platform
