// The error-stop broadcast in the console form: while a run is active, a watcher thread cancels it
// when another instance broadcasts an error stop; a run started with ERRSTOP:1 that ends on an
// error broadcasts one itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "engine/interpreter.h"
#include "platform/error_stop_signal.h"

namespace kestrune::app {

class ErrorStopWatch {
 public:
  // Starts watching for view (nothing is watched when the platform has no listener).
  ErrorStopWatch(engine::Interpreter& interp, uint32_t view);
  // Stops the watcher thread and waits for it.
  ~ErrorStopWatch();
  ErrorStopWatch(const ErrorStopWatch&) = delete;
  ErrorStopWatch& operator=(const ErrorStopWatch&) = delete;

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<platform::ErrorStopListener> listener_;
  std::thread thread_;
};

// After a run of view that ended with code: broadcasts the error stop when errStop is 1, the code
// is negative and the run was not itself cancelled from outside (a broadcast never answers one).
// False, with why, only when sending failed.
bool BroadcastAfterRun(engine::Interpreter& interp, uint32_t view, int errStop, int32_t code,
                       std::string& why);

}  // namespace kestrune::app
