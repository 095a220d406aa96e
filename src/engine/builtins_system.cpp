// Commands on the machine around the run: GlobalLock and GlobalUnLock (a step that scripts in
// several instances take one at a time) and roziDadaze (the file viewer of the work folder).
#include <array>
#include <memory>
#include <string>

#include "base/completion_codes.h"
#include "engine/external_commands.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/files.h"
#include "platform/shell_open.h"

namespace kestrune::engine {
namespace {

namespace code = base::code;

constexpr const char* kGlobalLockName = "GlobalMutex";
// How often a waiting GlobalLock looks at the view's cancel flag.
constexpr uint32_t kLockPollMs = 100;
constexpr const char* kViewerProgram = "roziDadaze.exe";

// The machine-wide lock each view holds between GlobalLock and GlobalUnLock (or the end of its run).
// Taken, released and dropped on the view's run thread only.
struct ScriptLocks {
  std::array<std::unique_ptr<platform::NamedLock>, Interpreter::kViews> held;
};

// Waits for "GlobalMutex" until it is had or the view is cancelled (the run then stops without it).
// Taking it again while holding it changes nothing. A lock the system refuses (its lock file belongs
// to another user, or is open to others) never comes: that is reported as -255 with the reason.
void GlobalLock(Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  std::unique_ptr<platform::NamedLock>& held = interp.State<ScriptLocks>().held.at(view);
  if (held) return;
  const std::atomic<bool>& cancel = interp.view(view).cancel;
  while (!cancel.load()) {
    std::string why;
    held = interp.host().AcquireNamedLock(kGlobalLockName, 0, why);
    if (held) return;
    if (!why.empty())
      return interp.ReportCompletion(view, code::kError,
                                     std::string("Cannot take ") + kGlobalLockName + ": " + why);
    interp.host().SleepMs(kLockPollMs);
  }
}

void GlobalUnLock(Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  interp.State<ScriptLocks>().held.at(view).reset();
}

// Starts the viewer program unpacked into the work folder: through the shell on Windows, directly
// (no shell, no waiting) elsewhere. A missing program reports -11.
void RoziDadaze(Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  const std::string path = platform::JoinPath(interp.settings().workFolder, kViewerProgram);
  if (!platform::FileExists(path)) return interp.ReportCompletion(view, code::kFileOpenFailed, path);
  std::string error;
#ifdef _WIN32
  if (!platform::ShellOpen(path, error)) interp.ReportCompletion(view, code::kFileOpenFailed, error);
#else
  ExternalCommands* ext = interp.externalCommands();
  if (!ext) return;
  // The program runs on by itself; nobody waits for it.
  if (!ext->launcher().Start(path, {path}, interp.settings().workFolder, error))
    interp.ReportCompletion(view, code::kFileOpenFailed, error);
#endif
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"GlobalLock", kAnyDisk, GlobalLock},
    {"GlobalUnLock", kAnyDisk, GlobalUnLock},
    {"roziDadaze", kAnyDisk, RoziDadaze},
};

}  // namespace

std::vector<HandlerRow> RegisterSystemCommands(Interpreter& interp) {
  interp.State<ScriptLocks>();  // made before any run, so no run thread is the first to use it
  // A lock the script left taken is given back when its run ends.
  interp.AddRunEndHook([&interp](uint32_t view) { interp.State<ScriptLocks>().held.at(view).reset(); });
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
