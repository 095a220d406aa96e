// The lab file's "[FileServer]" section: where the lab's file server takes its files from and which
// failure it injects, so that a script run on the lab can fetch from it (see lab_file_fetch.h).
//   Folder     The folder served, relative to the lab file; default "fileserver" in the lab folder.
//   Fault      none (default), noserver, refused, badlogin, missing, stalled, short.
//   FailAt     stalled and short: the bytes delivered first (default: half the file).
//   User       The account the server takes (with Password); without one it takes any.
//   Password
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/ini.h"
#include "sim/lab_file_fetch.h"

namespace kestrune::sim {

struct LabFileServerDescription {
  std::string folder;  // empty: the lab folder's "fileserver"
  LabFetchRules rules;
};

inline constexpr std::string_view kFileServerSection = "FileServer";

// True for the section name "[FileServer]" (any case).
bool IsFileServerSection(std::string_view section);

// The section's values; nullopt when the file has none. error names the bad key and value.
std::optional<LabFileServerDescription> ParseLabFileServer(const base::IniFile& ini, std::string& error);

}  // namespace kestrune::sim
