// Names of the named objects that instances share to talk to each other and to the companion
// ("LogView_Sync", "UNIWM_SENDCMD", "UNIWM_BROADCASTERRSTOP"): the name itself, or the name followed
// by KESTRUNE_OBJECT_SUFFIX when that is set and not empty. Checks that start real instances set
// it, so that their broadcasts and channel never reach other runs of the same user.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

namespace kestrune::platform {

inline std::string SharedObjectName(std::string_view name) {
  const char* suffix = std::getenv("KESTRUNE_OBJECT_SUFFIX");
  return std::string(name) + (suffix ? suffix : "");
}

}  // namespace kestrune::platform
