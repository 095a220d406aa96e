#include "platform/host.h"

namespace kestrune::platform {

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '/' && out.back() != '\\') out += kPathSeparator;
  out += name;
  return out;
}

}  // namespace kestrune::platform
