#include "app/error_stop.h"

#include <string>

#include "engine/output.h"
#include "engine/view.h"

namespace kestrune::app {
namespace {

// How soon the watcher notices that it is to stop.
constexpr uint32_t kWaitSliceMs = 250;

}  // namespace

ErrorStopWatch::ErrorStopWatch(engine::Interpreter& interp, uint32_t view) : interp_(interp), view_(view) {
  std::string why;
  listener_ = platform::ListenForErrorStops(interp.host(), why);
  if (!listener_) return;
  thread_ = std::thread([this] {
    while (!stop_.load()) {
      if (!listener_->Wait(kWaitSliceMs)) continue;
      engine::View& v = interp_.view(view_);
      if (!v.running.load() || v.cancel.load()) continue;
      interp_.writer().WriteLine(interp_.output(view_), "---- Broadcast Trigger Cancel Job ----",
                                 engine::kDetail, 10, engine::colour::kCyan);
      interp_.RequestCancel(view_);
    }
  });
}

ErrorStopWatch::~ErrorStopWatch() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

bool BroadcastAfterRun(engine::Interpreter& interp, uint32_t view, int errStop, int32_t code,
                       std::string& why) {
  if (errStop != 1 || code >= 0 || interp.CancelRequestedFlag(view).load()) return true;
  return platform::BroadcastErrorStop(interp.host(), interp.host().ProcessId(), why);
}

}  // namespace kestrune::app
