// Child scripts (CallFnScript): a second instance of the program runs a script for the parent, on
// the parent's disk, and leaves its result files at the parent's output base name.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/program_run.h"
#include "platform/process.h"

namespace kestrune::engine {

class Interpreter;

// What the child's command line carries.
struct FnScriptCall {
  std::string programPath;
  std::string scriptPath;
  std::string devicePath;  // the current disk's; empty when the run has no disk
  std::string outputBase;  // the parent's output base name: the child leaves its result files there
  std::string param;       // the child's sub-parameter text
  bool autoClose = true;
  std::string diskArguments;  // RunSettings::childDiskArguments, appended when there is a disk
};

// The selector a child gets when the parent runs without a disk.
inline constexpr const char* kNoDiskDrive = "\\\\.\\NULLDisk";

// The child's command line in Windows form:
// "\"%s\" SCRIPT:\"%s\", DRIVE:\"%s\", FRAME:4/4, SUBBASE:\"%s\", SUBPARAM:\"%s\", AUTOCLOSE:%d", then
// the disk arguments. A value never leaves its quotes: double quotes are dropped from it, and
// backslashes at its end are doubled so that they do not escape the closing quote.
std::string FnScriptCommandLine(const FnScriptCall& call);

// The children a run started without waiting for them (WaitClose FALSE), one watcher thread each.
// Held per interpreter (Interpreter::State); its destructor stops watching (the children run on)
// and joins the threads.
class BackgroundChildren {
 public:
  BackgroundChildren() = default;
  ~BackgroundChildren();
  BackgroundChildren(const BackgroundChildren&) = delete;
  BackgroundChildren& operator=(const BackgroundChildren&) = delete;

  // Watches process for view: when it ends, its result files at resultBase are shown in the view's
  // output. Run thread.
  // scriptName names the child in a report.
  void Watch(Interpreter& interp, uint32_t view, std::shared_ptr<platform::Process> process,
             std::string resultBase, std::string scriptName);

  // The end of the view's run. A run that ran to its end (cancel flag clear) waits for its children,
  // giving up when the cancel flag is set meanwhile; a child that ended with a nonzero code or an
  // "Err" result line reports -255. A cancelled run leaves its children running. Either way the
  // watchers are gone afterwards. Run thread.
  void Join(Interpreter& interp, uint32_t view);

  // The number of children being watched (all views).
  size_t size();

 private:
  struct Child {
    uint32_t view = 0;
    std::string scriptName;
    std::shared_ptr<platform::Process> process;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;  // guarded by mutex
    std::optional<int> code;
    ImportOutcome outcome;
    std::thread thread;
  };

  std::mutex mutex_;
  std::list<std::unique_ptr<Child>> children_;
};

}  // namespace kestrune::engine
