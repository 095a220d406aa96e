#include "app/station_file.h"

#include <charconv>
#include <cstdlib>

#include "base/ini.h"
#include "base/text.h"
#include "platform/host.h"
#include "platform/serial_port.h"

namespace kestrune::app {
namespace {

std::optional<int64_t> Number(const base::IniFile& ini, std::string_view section, std::string_view key) {
  std::optional<std::string> v = ini.Get(section, key);
  if (!v || v->empty()) return std::nullopt;
  int64_t n = 0;
  const char* end = v->data() + v->size();
  auto [p, ec] = std::from_chars(v->data(), end, n);
  if (ec != std::errc() || p != end) return std::nullopt;
  return n;
}

devcmd::StationConfig FromIni(const base::IniFile& ini, std::string path) {
  devcmd::StationConfig c;
  c.path = std::move(path);
  if (std::optional<int64_t> type = Number(ini, "PowerHub", "Type"); type && *type >= 0 && *type <= 255)
    c.hubType = static_cast<int>(*type);
  c.hubPort = ini.GetString("PowerHub", "Port", "");
  for (const std::string& key : ini.Keys("SerialPorts")) {
    if (platform::ComPortNumber(key) == 0) continue;
    const std::string name = base::ToUpperAscii(key);
    if (c.serialDevices.contains(name)) continue;  // the first entry wins, as every key's
    if (std::string device = ini.GetString("SerialPorts", key, ""); !device.empty()) c.serialDevices[name] = device;
  }
  c.lanServer = ini.GetString("LanPower", "Server", "");
  if (std::optional<int64_t> port = Number(ini, "LanPower", "Port"); port && *port > 0 && *port <= 65535)
    c.lanPort = static_cast<uint32_t>(*port);
  c.fileServer.server = ini.GetString("FILESERVER", "Server", "");
  if (std::optional<int64_t> port = Number(ini, "FILESERVER", "Port"); port && *port > 0 && *port <= 65535)
    c.fileServer.port = static_cast<uint32_t>(*port);
  c.fileServer.user = ini.GetString("FILESERVER", "User", "");
  c.fileServer.password = ini.GetString("FILESERVER", "Password", "");
  return c;
}

}  // namespace

devcmd::StationConfig ParseStationFile(std::string_view text, std::string path) {
  return FromIni(base::IniFile::Parse(text), std::move(path));
}

devcmd::StationConfig ReadStationFile(const std::string& path) {
  std::optional<base::IniFile> ini = base::IniFile::Load(path);
  if (!ini) return FromIni(base::IniFile::Parse(""), path);
  return FromIni(*ini, path);
}

std::string StationFilePath(const std::string& programFolder) {
  const char* chosen = std::getenv("KESTRUNE_STATION");
  if (chosen && *chosen) return chosen;
  return platform::JoinPath(programFolder, "Station.ini");
}

}  // namespace kestrune::app
