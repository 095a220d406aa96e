// The companion stand-in's platform part on Windows: a hidden top-level window, which the program's
// broadcast of the registered message "UNIWM_SENDCMD" (HWND_BROADCAST) reaches as it would reach
// the real companion's.
#include <windows.h>

#include "companion_peer_platform.h"
#include "platform/companion_signal.h"
#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"

namespace companion_peer {
namespace {

using namespace kestrune::platform;

class BroadcastWatch final : public SignalWatch {
 public:
  BroadcastWatch(HWND window, UINT message) : window_(window), message_(message) {}
  ~BroadcastWatch() override { DestroyWindow(window_); }
  BroadcastWatch(const BroadcastWatch&) = delete;
  BroadcastWatch& operator=(const BroadcastWatch&) = delete;

  bool Wait(uint32_t ms) override {
    const ULONGLONG end = GetTickCount64() + ms;
    bool came = false;
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == message_) came = true;
        DispatchMessageW(&msg);
      }
      const ULONGLONG now = GetTickCount64();
      if (came || now >= end) return came;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
  }

 private:
  HWND window_;
  UINT message_;
};

}  // namespace

std::unique_ptr<SignalWatch> WatchSignal(std::string& why) {
  const UINT message = RegisterWindowMessageW(Widen(kCompanionSignalName).c_str());
  WNDCLASSW cls{};
  cls.lpfnWndProc = DefWindowProcW;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = L"KestruneCompanionPeer";
  // Not a message-only window: a broadcast reaches top-level windows only.
  HWND window = message != 0 && RegisterClassW(&cls) != 0
                    ? CreateWindowExW(0, cls.lpszClassName, L"companion_peer", WS_OVERLAPPED, 0, 0, 0, 0,
                                      nullptr, nullptr, cls.hInstance, nullptr)
                    : nullptr;
  if (window == nullptr) {
    why = "cannot make a window for UNIWM_SENDCMD: " + LastErrorText();
    return nullptr;
  }
  return std::make_unique<BroadcastWatch>(window, message);
}

bool InterruptProgram(uint32_t) { return false; }

void EndProgram(uint32_t pid) {
  if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
    TerminateProcess(process, 1);
    CloseHandle(process);
  }
}

}  // namespace companion_peer
