// The error-stop broadcast on Windows: the registered message posted to every top-level window.
// A listener owns a hidden top-level window (a message-only window would not see broadcasts) on a
// thread of its own with a message loop; the window's handle is this process's sender id, so the
// process passes over its own broadcasts.
#include "platform/error_stop_signal.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/win32/last_error.h"

namespace kestrune::platform {
namespace {

constexpr wchar_t kSinkClass[] = L"KestruneBroadcastSink";

UINT ErrorStopMessage() {
  static const UINT message = RegisterWindowMessageW(L"UNIWM_BROADCASTERRSTOP");
  return message;
}

// The sink window of this process's listener, 0 while there is none.
std::atomic<uintptr_t> gSinkWindow{0};

class Win32ErrorStopListener final : public ErrorStopListener {
 public:
  // Starts the window thread and waits until its window exists. ok() tells whether it does.
  Win32ErrorStopListener() {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return started_; });
  }
  ~Win32ErrorStopListener() override {
    if (threadId_ != 0) PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }
  bool ok() const { return window_ != nullptr; }
  const std::string& why() const { return why_; }

  std::optional<uint64_t> Wait(uint32_t ms) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !senders_.empty(); }))
      return std::nullopt;
    const uint64_t sender = senders_.front();
    senders_.pop_front();
    return sender;
  }

 private:
  static LRESULT CALLBACK Procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == ErrorStopMessage() && m != 0) {
      auto* self = reinterpret_cast<Win32ErrorStopListener*>(GetWindowLongPtrW(w, GWLP_USERDATA));
      const uint64_t sender = static_cast<uint64_t>(wp);
      if (self && sender != reinterpret_cast<uintptr_t>(w) && sender != GetCurrentProcessId()) self->Take(sender);
      return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
  }

  void Take(uint64_t sender) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      senders_.push_back(sender);
    }
    arrived_.notify_one();
  }

  void Run() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kSinkClass;
    RegisterClassExW(&wc);  // fails harmlessly when a second listener registers it again
    HWND w = ErrorStopMessage() == 0 ? nullptr
                                     : CreateWindowExW(WS_EX_TOOLWINDOW, kSinkClass, L"Kestrune", WS_POPUP, 0, 0, 0, 0,
                                                       nullptr, nullptr, wc.hInstance, nullptr);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      window_ = w;
      if (!w) why_ = "no window takes UNIWM_BROADCASTERRSTOP: " + LastErrorText();
      threadId_ = GetCurrentThreadId();
      started_ = true;
    }
    ready_.notify_one();
    if (!w) return;
    SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    gSinkWindow.store(reinterpret_cast<uintptr_t>(w));
    // Window messages from other processes pass the UIPI filter only when allowed.
    ChangeWindowMessageFilterEx(w, ErrorStopMessage(), MSGFLT_ALLOW, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    uintptr_t mine = reinterpret_cast<uintptr_t>(w);
    gSinkWindow.compare_exchange_strong(mine, 0);
    DestroyWindow(w);
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ready_, arrived_;
  bool started_ = false;
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
  std::string why_;
  std::deque<uint64_t> senders_;
};

}  // namespace

bool BroadcastErrorStop(Host&, uint64_t sender, std::string& why) {
  // The sink window stands for this process when there is one, so its own listener passes over it.
  const uintptr_t sink = gSinkWindow.load();
  const WPARAM id = sink != 0 ? static_cast<WPARAM>(sink) : static_cast<WPARAM>(sender);
  const UINT message = ErrorStopMessage();
  if (message == 0 || !PostMessageW(HWND_BROADCAST, message, id, 0)) {
    why = "cannot broadcast UNIWM_BROADCASTERRSTOP: " + LastErrorText();
    return false;
  }
  return true;
}

std::unique_ptr<ErrorStopListener> ListenForErrorStops(Host&, std::string& why) {
  auto listener = std::make_unique<Win32ErrorStopListener>();
  if (!listener->ok()) {
    why = listener->why();
    return nullptr;
  }
  return listener;
}

}  // namespace kestrune::platform
