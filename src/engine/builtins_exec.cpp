// Outside programs: the general command Exec and the set-up of the commands of ExtCmd.ini.
#include "base/completion_codes.h"
#include "engine/arguments.h"
#include "engine/command_parameters.h"
#include "engine/external_commands.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "engine/program_run.h"
#include "engine/view.h"
#include "platform/command_line_split.h"
#include "platform/files.h"
#include "platform/host.h"
#include "platform/process.h"

namespace kestrune::engine {
namespace {

namespace code = base::code;

std::string InFolder(const std::string& path, const std::string& folder) {
  if (path.empty() || platform::IsAbsolutePath(path)) return path;
  return platform::JoinPath(folder, path);
}

// Exec(AssignFolder, CmdLine, ResultFile, WaitClose): runs the program that CmdLine names (a command
// line in Windows form, with the "%...%" words of the external commands replaced) in AssignFolder
// (default: the script folder) and imports its result files: those of the output base name, or
// ResultFile when given (one .PNG/.INI/.TXT/.XML file, or a base name). The program's exit code is
// stored in the variable named after the command when it was waited for.
void Exec(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {"AssignFolder", "CmdLine", "ResultFile", "WaitClose"});
  std::string folder = in.Text("");
  std::string cmdLine = in.Text("");
  std::string resultFile = in.Text("");
  bool waitClose = in.Bool(true);
  ExternalCommands* ext = interp.externalCommands();
  if (!in.ok() || !ext) return;

  if (folder.empty()) folder = v.scriptFolder;
  if (!platform::FolderExists(folder)) {
    interp.ReportCompletion(view, code::kFileOpenFailed, "AssignFolder does not exist: " + folder);
    return;
  }
  ProgramRun run;
  run.resultBase = OutputBaseName(interp, view);
  run.commandLine = SubstituteParameters(cmdLine, CommandParameterValues(interp, view, run.resultBase));
  std::vector<std::string> words = platform::SplitWindowsCommandLine(run.commandLine);
  if (words.empty() || words[0].empty()) {
    interp.ReportCompletion(view, code::kBadParameter, "CmdLine names no program");
    return;
  }
  auto program = platform::FindProgram(words[0], folder, ext->launcher().ProgramSearchPath());
  if (!program) {
    interp.ReportCompletion(view, code::kFileOpenFailed, words[0]);
    return;
  }
  run.program = *program;
  run.folder = folder;
  run.resultFile = InFolder(resultFile, folder);
  run.waitClose = waitClose;
  if (auto code = RunProgramAndImport(interp, view, *ext, run))
    StoreValue(v.vars, errors, name, Value::Number(*code));
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"Exec", kAnyDisk, Exec},
};

}  // namespace

std::vector<HandlerRow> RegisterExternalCommands(Interpreter& interp) {
  const std::string& workFolder = interp.settings().workFolder;
  interp.SetExternalCommands(std::make_shared<ExternalCommands>(
      workFolder.empty() ? std::vector<ExternalCommand>{} : LoadExternalCommands(workFolder),
      platform::DefaultProcessLauncher()));
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
