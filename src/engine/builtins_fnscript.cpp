// Child script commands: CallFnScript, CancelFnScript and IsFnScriptRunning.
#include <filesystem>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/child_scripts.h"
#include "engine/external_commands.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/global_vars.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "engine/program_run.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::engine {

namespace code = base::code;
using base::Format;

namespace {

constexpr uint32_t kBackgroundPauseMs = 3000;
constexpr uint32_t kCancelPauseMs = 3000;

// The child runs in a folder of its own, so it gets the script as a full path.
std::string FullPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(platform::FsPath(path), ec);
  return ec ? path : platform::Utf8Path(full.lexically_normal());
}

// CallFnScript( ScpxFile:"", Param:"", WaitClose:TRUE, AutoClose:TRUE ): runs the script in a second
// instance of the program on the current disk. Waited for, its result files are shown and its exit
// code stored under the command's name; a child that fails (exit code not 0, or an "Err" result
// line) reports -255. Not waited for, it is watched until the run ends.
void CallFnScript(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {"ScpxFile", "Param", "WaitClose", "AutoClose"});
  std::string file = in.Text("");
  std::string param = in.Text("");
  bool waitClose = in.Bool(true);
  bool autoClose = in.Bool(true);
  if (!in.ok()) return;
  ViewOutput* out = interp.output(view);
  interp.writer().WriteLine(out,
                            Format("%.*s(%.*s);", static_cast<int>(name.size()), name.data(),
                                   static_cast<int>(args.size()), args.data()),
                            kDetail, 10, colour::kGreen);
  if (!ChooseFileIfEmpty(interp, view, file, FileChoice::Open("Script File", "scpt"))) return;
  std::optional<std::string> script = LookupFile(file, interp.Folders(view));
  if (!script) return interp.ReportCompletion(view, code::kFileOpenFailed, file);
  ExternalCommands* ext = interp.externalCommands();
  if (!ext) return;

  FnScriptCall call;
  call.programPath = interp.settings().programPath;
  call.scriptPath = FullPath(*script);
  call.devicePath = interp.CurrentDevicePath();
  call.outputBase = OutputBaseName(interp, view);
  call.param = param;
  call.autoClose = autoClose;
  call.diskArguments = interp.settings().childDiskArguments;

  ProgramRun run;
  run.program = call.programPath;
  run.commandLine = FnScriptCommandLine(call);
  run.resultBase = call.outputBase;
  if (waitClose) {
    const int64_t errorsBefore = v.vars.Get("_ErrorCount").number;
    std::optional<int> code = RunProgramAndImport(interp, view, *ext, run);
    if (!code) return;
    StoreValue(v.vars, errors, name, Value::Number(*code));
    // An "Err" result line has been reported already; a failed child without one is reported here.
    if (*code != 0 && v.vars.Get("_ErrorCount").number == errorsBefore)
      interp.ReportCompletion(view, code::kError, Format("%s ended with exit code %d", file.c_str(), *code));
    return;
  }

  interp.writer().WriteLine(out, "", kHeader, 10, colour::kGreen);
  std::string error;
  std::shared_ptr<platform::Process> process =
      ext->launcher().StartCommandLine(run.program, run.commandLine, run.folder, error);
  if (!process) return interp.ReportCompletion(view, code::kFileOpenFailed, error);
  interp.State<BackgroundChildren>().Watch(interp, view, std::move(process), run.resultBase, file);
  interp.host().SleepMs(kBackgroundPauseMs);
}

void CancelFnScript(Interpreter& interp, uint32_t, std::string_view, std::string_view) {
  interp.host().SleepMs(kCancelPauseMs);
}

// 1 while some instance keeps a value under "_FnScript" in the machine-wide global variables.
void IsFnScriptRunning(Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  ReportingSink errors(interp, view);
  const std::string block = GlobalVarBlockName();
  std::string why;
  std::unique_ptr<GlobalVars> globals = GlobalVars::Open(interp.host(), block, why);
  if (!globals)
    return interp.ReportCompletion(view, code::kHostMemoryAllocFailed,
                                   "Cannot map the shared block " + block + ": " + why);
  std::optional<std::string> value = globals->Get(interp.host(), errors, "_FnScript");
  if (!value) return;
  StoreValue(interp.view(view).vars, errors, name, Value::Number(value->empty() ? 0 : 1));
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"CallFnScript", kAnyDisk, CallFnScript},
    {"CancelFnScript", kAnyDisk, CancelFnScript},
    {"IsFnScriptRunning", kAnyDisk, IsFnScriptRunning},
};

}  // namespace

std::vector<HandlerRow> RegisterFnScriptCommands(Interpreter& interp) {
  interp.State<BackgroundChildren>();  // made before any run, so no run thread is the first to use it
  interp.AddRunEndHook([&interp](uint32_t view) { interp.State<BackgroundChildren>().Join(interp, view); });
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
