#include "app/win32/window_call.h"

#include <memory>

#include "app/win32/window_messages.h"

namespace kestrune::app::win32 {
namespace {

constexpr DWORD kCallerPollMs = 250;

// Shared by the caller and the window thread: whichever first changes state from kPosted decides
// whether the work runs (kRunning) or never will (kAbandoned).
struct WindowCall {
  enum State { kPosted, kRunning, kAbandoned };
  const std::function<void(HWND)>* work = nullptr;  // the caller's; valid while it waits
  std::atomic<int> state{kPosted};
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~WindowCall() {
    if (done) CloseHandle(done);
  }
};

}  // namespace

bool CallOnWindowThread(const std::function<void(HWND owner)>& work, const std::atomic<bool>* cancel) {
  HWND window = gMainWindow.load();
  if (!window) return false;
  if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {  // already there
    work(window);
    return true;
  }
  auto call = std::make_shared<WindowCall>();
  if (!call->done) return false;
  call->work = &work;
  auto* carried = new std::shared_ptr<WindowCall>(call);
  if (!PostMessageW(window, kWindowCall, 0, reinterpret_cast<LPARAM>(carried))) {
    delete carried;
    return false;
  }
  for (;;) {
    if (WaitForSingleObject(call->done, kCallerPollMs) == WAIT_OBJECT_0) return true;
    // Not yet taken up: give up when the job stops or the window is gone (its queue with it).
    const bool giveUp = (cancel && cancel->load()) || !gMainWindow.load();
    int expected = WindowCall::kPosted;
    if (giveUp && call->state.compare_exchange_strong(expected, WindowCall::kAbandoned)) return false;
  }
}

void RunWindowCall(HWND owner, LPARAM lp) {
  std::unique_ptr<std::shared_ptr<WindowCall>> carried(reinterpret_cast<std::shared_ptr<WindowCall>*>(lp));
  WindowCall& call = **carried;
  int expected = WindowCall::kPosted;
  if (!call.state.compare_exchange_strong(expected, WindowCall::kRunning)) return;
  (*call.work)(owner);
  SetEvent(call.done);
}

}  // namespace kestrune::app::win32
