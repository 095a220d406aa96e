// Run control of the views: the one owner of each view's run thread. It starts a run, cancels it
// from outside (Ctrl-C in the console form, the window's Stop button), waits for it, and tells the
// form when it has ended (the window's private message 32805).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/interpreter.h"

namespace kestrune::app {

class RunController {
 public:
  // Called on the run thread once the run has ended: the view and the executor's last result.
  using Finished = std::function<void(uint32_t view, engine::ExecResult result)>;

  explicit RunController(engine::Interpreter& interp);
  // Cancels every run still active and waits for it.
  ~RunController();
  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;

  // Starts a run of the script file on view on a thread of its own; onFinished (may be empty) is
  // called at its end. With resume the run goes on from that save (which must outlive the run).
  // False when a run is already active on view. Main thread only.
  bool Start(uint32_t view, std::string scriptPath, Finished onFinished = {},
             const engine::LoadedSave* resume = nullptr);

  // Runs one statement on view on the run thread (the immediate statement: Interpreter::RunImmediate)
  // under the same rules as Start: never beside a run of the view. False when a run is active.
  bool StartImmediate(uint32_t view, std::string statement, Finished onFinished = {});

  // Asks view's run to stop after the current statement; it then ends with the cancelled code.
  // Thread-safe; does nothing when no run is active.
  void Cancel(uint32_t view);

  // True while view's run thread has not ended. Thread-safe.
  bool Active(uint32_t view) const;

  // Waits for view's run to end and gives its last completion code (the exit code of a console
  // run). Main thread only.
  int32_t Wait(uint32_t view);

  // The console form: runs the script on view and waits for it, with Ctrl-C (SIGINT) cancelling
  // it. The interrupt handler only stores into the view's atomic cancel flags. Main thread only;
  // one such run at a time in the process.
  int32_t RunInConsole(uint32_t view, const std::string& scriptPath, const engine::LoadedSave* resume = nullptr);

 private:
  struct Slot {
    std::thread thread;
    std::atomic<bool> active{false};
  };

  // Starts body on view's run thread; false when a run is active there.
  bool Launch(uint32_t view, std::function<engine::ExecResult()> body, Finished onFinished);

  engine::Interpreter& interp_;
  std::vector<Slot> slots_;
};

}  // namespace kestrune::app
