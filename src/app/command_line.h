// Classification of the program's command-line arguments into start-up settings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrune::app {

// Capacities of the fixed text buffers the settings are kept in (characters, terminator excluded).
inline constexpr size_t kSelectorCapacity = 259;
inline constexpr size_t kInitCommandCapacity = 259;
inline constexpr size_t kPathCapacity = 259;
inline constexpr size_t kSubParamCapacity = 1023;

struct CommandLine {
  std::string targetSelector;  // upper-cased; empty = none
  int uiMode = 0;              // 0 interactive, 1 hidden/quiet, 2 and 3 unattended
  std::string subParam;        // parameters for the script, words separated by "$"
  std::string initCommand;     // the last argument holding "--"
  bool outputFileWanted = false;
  std::string outputFileName;  // "outfile.txt" unless "/outfile=NAME"
  int debugLevel = 0;
  bool debugGiven = false;     // "/debug" or "/dbg" given: the package's DebugLogDATX is ignored

  // Forms used by child scripts (CallFnScript) and by the restart after a reboot.
  std::string scriptPath;      // SCRIPT:"path": run this file instead of the package's script
  std::string diskIdentity;    // DRVHW:"identity": select the disk by its identity text
  std::string subBase;         // SUBBASE:"base": output base name of the run
  std::string frame;           // FRAME:a/b
  int rebootSync = -1;         // REBOOTSYNC:n, -1 when absent
  int errStop = -1;            // ERRSTOP:n, -1 when absent
  std::string answersPath;     // ANSWERS:"file": the operator questions' answers of an unattended run

  // "/sim" or "/sim=FILE.ini": the disk list comes from the simulated lab.
  bool simulated = false;
  std::string simLabFile;
  // SIMDIR:"folder": the folder of the lab's drive files instead of one in the work folder. A child
  // script (CallFnScript) gets its parent's, so that both work on the same drives.
  std::string simFolder;
};

struct ParseOptions {
  // An argument naming a block-device node ("/dev/sdb") is a target selector (Linux).
  bool blockDeviceSelectors = false;
};

// Classifies the arguments (argument 0, the program path, is skipped). Pure: creates no files.
CommandLine ParseCommandLine(const std::vector<std::string>& args, const ParseOptions& options);

// Options for the platform the program was built for.
ParseOptions NativeParseOptions();

// atoi-like: leading blanks, an optional sign, decimal digits; anything else stops; no digits = 0.
int DecimalPrefix(std::string_view text);

}  // namespace kestrune::app
