#include "disk/port_map.h"

#include <cstdlib>
#include <filesystem>

#include "base/text.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::disk {

std::string PortMapFolderFrom(const EnvironmentReader& env) {
  auto nonEmpty = [&env](const char* name) -> std::optional<std::string> {
    std::optional<std::string> v = env(name);
    if (v && v->empty()) return std::nullopt;
    return v;
  };
#ifdef _WIN32
  std::optional<std::string> appData = nonEmpty("APPDATA");
  return appData ? platform::JoinPath(*appData, "mpEnv") : std::string();
#else
  if (std::optional<std::string> config = nonEmpty("XDG_CONFIG_HOME"))
    return platform::JoinPath(*config, "mpEnv");
  std::optional<std::string> home = nonEmpty("HOME");
  return home ? platform::JoinPath(platform::JoinPath(*home, ".config"), "mpEnv") : std::string();
#endif
}

std::string PortMapFolder() {
  return PortMapFolderFrom([](const char* name) -> std::optional<std::string> {
#ifdef _WIN32
    std::wstring wide(name, name + std::char_traits<char>::length(name));
    const wchar_t* value = _wgetenv(wide.c_str());
    if (!value) return std::nullopt;
    return platform::Utf8Path(std::filesystem::path(value));
#else
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
#endif
  });
}

PortMap PortMap::Load(const std::string& path) {
  if (path.empty()) return {};
  std::optional<base::IniFile> ini = base::IniFile::Load(path);
  return ini ? FromIni(*ini) : PortMap{};
}

PortMap PortMap::FromIni(const base::IniFile& ini) {
  PortMap map;
  for (const std::string& name : ini.Keys(kPortMapSection))
    map.lines_.emplace_back(name, ini.GetString(kPortMapSection, name, ""));
  return map;
}

std::optional<std::string> PortMap::NameFor(std::string_view key) const {
  if (key.empty()) return std::nullopt;
  for (const auto& [name, value] : lines_)
    if (value == key) return name;
  return std::nullopt;
}

bool PortMap::HasName(std::string_view name) const {
  for (const auto& line : lines_)
    if (base::EqualsNoCase(line.first, name)) return true;
  return false;
}

}  // namespace kestrune::disk
