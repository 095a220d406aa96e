// Running an outside program for a script command (the commands of ExtCmd.ini and Exec) and
// importing the result files it leaves behind into the view's output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/output.h"

namespace kestrune::engine {

class Interpreter;
class ExternalCommands;

// The files a program run leaves for the script, in the order they are shown: base.PNG, base.INI,
// base.TXT and base.XML (the extension in capitals, or else in small letters), those that exist.
std::vector<std::string> ResultFilesOf(const std::string& base);

struct ImportOutcome {
  bool failed = false;  // an INI line held "Err"
  std::string failure;  // the first such line
};

// Prints the result files (paths as ResultFilesOf gives them; the kind follows the extension):
// - PNG: a picture line.
// - INI: the values of the keys ITEM0, ITEM1, ... of section "Result", each a white detail line; the
//   text after "[LINK]" becomes the line's attached path; a line holding "Err" is red and marks the
//   run as failed.
// - TXT: every non-empty line in grey; a line holding "      [PNG]" shows the picture whose path
//   follows.
// - XML: every line holding "</" is cut there, its "<" removed and the rest split at ">" into tag and
//   value, printed as "%-60s : %s", yellow when the tag holds "Score", else grey.
ImportOutcome ImportResultFiles(OutputWriter& writer, ViewOutput* out, const std::vector<std::string>& files);

struct ProgramRun {
  std::string program;      // the program file
  std::string commandLine;  // Windows form, argument 0 first
  std::string folder;       // working folder
  std::string resultBase;   // base name of the result files (the output base name)
  std::string resultFile;   // when set: the only result file, or the base name to use instead
  bool waitClose = true;
};

// Runs a program for a command on view (run thread): prints an empty header line (new result file),
// starts the program, waits for its end (giving up when the view is cancelled), imports its result
// files and, when there were any, prints the elapsed time. A line marked "Err" reports -255 with
// that line as the detail. With
// waitClose false the waiting and importing happen on a background thread and the run thread pauses
// five seconds; a failure found there is shown but cannot reach the error policy, which belongs to
// the run thread. A program that cannot be started reports -11. Returns the program's exit code
// when it was waited for.
std::optional<int> RunProgramAndImport(Interpreter& interp, uint32_t view, ExternalCommands& ext,
                                       const ProgramRun& run);

}  // namespace kestrune::engine
