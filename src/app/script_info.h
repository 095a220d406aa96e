// The package's script information file, ScriptInfo.ini, section SCRIPTINFO.
#pragma once

#include <string>

#include "base/ini.h"

namespace kestrune::app {

struct ScriptInfo {
  int style = 0;             // 0 full window, 10, 20 window forms; 30, 31, 40 console
  std::string title;         // caption (at most 259 characters)
  int diskKindWanted = 1;    // 0 when DiskType is "Drive"
  int protocolWanted = 0;    // "ALL" 0, "SATA" 1, "NVME" 2
  std::string socId;         // controller id filter; "_WithOutDrv": the script needs no disk
  std::string modelName;     // model filter
  int showLogo = 0;
  int debugLogDatx = 0;
  std::string noDiskCmd;     // comma-separated init commands that need no disk
};

ScriptInfo ReadScriptInfo(const base::IniFile& ini);

// True for the console styles 30, 31 and 40.
inline bool IsConsoleStyle(int style) { return style == 30 || style == 31 || style == 40; }

// The caption: TITLE, or when that is empty the first "*.scp?" file of the work folder cut at
// ".scp" with "_" replaced by blanks.
std::string CaptionFor(const ScriptInfo& info, const std::string& workFolder);

// True when initCommand (non-empty) followed by "," occurs in noDiskCmd followed by ",".
bool InitCommandNeedsNoDisk(const std::string& initCommand, const std::string& noDiskCmd);

}  // namespace kestrune::app
