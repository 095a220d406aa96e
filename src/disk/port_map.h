// PortMap.ini: a test station's own names for its ports. Section "PortMap" holds lines
// name=portkey; the first line whose value is a disk's port key names that disk, and the name "x"
// hides the disk from the lists.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ini.h"

namespace kestrune::disk {

inline constexpr std::string_view kPortMapSection = "PortMap";
inline constexpr std::string_view kPortMapFileName = "PortMap.ini";

// Reads an environment variable; nullopt when it is not set.
using EnvironmentReader = std::function<std::optional<std::string>(const char* name)>;

// The folder of PortMap.ini: "%APPDATA%\mpEnv" on Windows; "$XDG_CONFIG_HOME/mpEnv", else
// "$HOME/.config/mpEnv" elsewhere. Empty when the variables it needs are not set.
std::string PortMapFolderFrom(const EnvironmentReader& env);
// The same from the process environment.
std::string PortMapFolder();

class PortMap {
 public:
  // The map of an INI file; an empty map when the file is missing or unreadable.
  static PortMap Load(const std::string& path);
  static PortMap FromIni(const base::IniFile& ini);

  // The name of the first line whose value equals key exactly.
  std::optional<std::string> NameFor(std::string_view key) const;
  // True when a line of that name exists (names compared without regard to case).
  bool HasName(std::string_view name) const;

 private:
  std::vector<std::pair<std::string, std::string>> lines_;  // name, value; trimmed, in file order
};

}  // namespace kestrune::disk
