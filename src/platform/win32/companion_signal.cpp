// The companion signal on Windows: the registered message broadcast to every top-level window.
#include "platform/companion_signal.h"

#include <windows.h>

#include "platform/win32/last_error.h"

namespace kestrune::platform {

bool SignalCompanion(Host&, std::string& why) {
  static const UINT message = RegisterWindowMessageW(L"UNIWM_SENDCMD");
  if (message == 0 || !PostMessageW(HWND_BROADCAST, message, 0, 0)) {
    why = "cannot broadcast UNIWM_SENDCMD: " + LastErrorText();
    return false;
  }
  return true;
}

void WaitForCompanionSignal(uint32_t*, uint32_t, uint32_t ms) { Sleep(ms); }

}  // namespace kestrune::platform
