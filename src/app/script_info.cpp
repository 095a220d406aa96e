#include "app/script_info.h"

#include "base/text.h"
#include "platform/files.h"

namespace kestrune::app {

using base::EqualsNoCase;

ScriptInfo ReadScriptInfo(const base::IniFile& ini) {
  constexpr std::string_view kSection = "SCRIPTINFO";
  ScriptInfo info;
  info.style = ini.GetInt(kSection, "Style", 0);
  info.title = ini.GetString(kSection, "TITLE", "").substr(0, 259);
  info.diskKindWanted = EqualsNoCase(ini.GetString(kSection, "DiskType", ""), "Drive") ? 0 : 1;
  std::string protocol = ini.GetString(kSection, "ProtocolType", "");
  info.protocolWanted = EqualsNoCase(protocol, "SATA") ? 1 : EqualsNoCase(protocol, "NVME") ? 2 : 0;
  info.socId = ini.GetString(kSection, "SOCID", "").substr(0, 63);
  info.modelName = ini.GetString(kSection, "ModelName", "").substr(0, 63);
  info.showLogo = ini.GetInt(kSection, "ShowValdrimoLogo", 0);
  info.debugLogDatx = ini.GetInt(kSection, "DebugLogDATX", 0);
  info.noDiskCmd = ini.GetString(kSection, "NoDiskCmd", "").substr(0, 259);
  return info;
}

std::string CaptionFor(const ScriptInfo& info, const std::string& workFolder) {
  if (!info.title.empty()) return info.title;
  for (const std::string& name : platform::ListFiles(workFolder)) {
    size_t at = base::FindNoCase(name, ".scp");
    // "*.scp?": ".scp" followed by exactly one more character at the end of the name.
    if (at == std::string::npos || at + 5 != name.size()) continue;
    std::string caption = name.substr(0, at);
    for (char& c : caption)
      if (c == '_') c = ' ';
    return caption;
  }
  return {};
}

bool InitCommandNeedsNoDisk(const std::string& initCommand, const std::string& noDiskCmd) {
  if (initCommand.empty()) return false;
  return base::FindNoCase(noDiskCmd + ",", initCommand + ",") != std::string::npos;
}

}  // namespace kestrune::app
