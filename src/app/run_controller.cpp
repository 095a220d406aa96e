#include "app/run_controller.h"

#include <csignal>

namespace kestrune::app {
namespace {

// What the interrupt handler may touch: two lock-free atomic flags reached through lock-free
// atomic pointers. Nothing else is async-signal-safe.
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);
std::atomic<std::atomic<bool>*> gInterruptCancel{nullptr};
std::atomic<std::atomic<bool>*> gInterruptRequested{nullptr};

extern "C" void OnInterrupt(int) {
  // The request mark first: the run thread reads it after it has seen the cancel flag.
  if (std::atomic<bool>* requested = gInterruptRequested.load()) requested->store(true);
  if (std::atomic<bool>* cancel = gInterruptCancel.load()) cancel->store(true);
}

}  // namespace

RunController::RunController(engine::Interpreter& interp) : interp_(interp), slots_(engine::Interpreter::kViews) {}

RunController::~RunController() {
  for (uint32_t view = 0; view < slots_.size(); ++view) {
    if (!slots_[view].thread.joinable()) continue;
    Cancel(view);
    slots_[view].thread.join();
  }
}

bool RunController::Start(uint32_t view, std::string scriptPath, Finished onFinished, const engine::LoadedSave* resume) {
  return Launch(
      view,
      [this, view, path = std::move(scriptPath), resume] {
        return resume ? interp_.ResumeScript(view, path, *resume) : interp_.RunScript(view, path);
      },
      std::move(onFinished));
}

bool RunController::StartImmediate(uint32_t view, std::string statement, Finished onFinished) {
  return Launch(
      view, [this, view, text = std::move(statement)] { return interp_.RunImmediate(view, text); },
      std::move(onFinished));
}

bool RunController::Launch(uint32_t view, std::function<engine::ExecResult()> body, Finished onFinished) {
  if (view >= slots_.size()) return false;
  Slot& slot = slots_[view];
  if (slot.active.load()) return false;
  if (slot.thread.joinable()) slot.thread.join();  // the last run has ended; collect its thread
  slot.active.store(true);
  slot.thread = std::thread([this, view, run = std::move(body), done = std::move(onFinished)] {
    engine::ExecResult result = run();
    slots_[view].active.store(false);
    if (done) done(view, result);
  });
  return true;
}

void RunController::Cancel(uint32_t view) {
  if (view < slots_.size() && slots_[view].active.load()) interp_.RequestCancel(view);
}

bool RunController::Active(uint32_t view) const { return view < slots_.size() && slots_[view].active.load(); }

int32_t RunController::Wait(uint32_t view) {
  if (view >= slots_.size()) return 0;
  if (slots_[view].thread.joinable()) slots_[view].thread.join();
  return interp_.LastCompletionCode(view);
}

int32_t RunController::RunInConsole(uint32_t view, const std::string& scriptPath, const engine::LoadedSave* resume) {
  gInterruptRequested.store(&interp_.CancelRequestedFlag(view));
  gInterruptCancel.store(&interp_.CancelFlag(view));
  auto previous = std::signal(SIGINT, OnInterrupt);
  int32_t code = 0;
  if (Start(view, scriptPath, {}, resume)) code = Wait(view);
  std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
  gInterruptCancel.store(nullptr);
  gInterruptRequested.store(nullptr);
  return code;
}

}  // namespace kestrune::app
