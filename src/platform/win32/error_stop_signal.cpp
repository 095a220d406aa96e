// The error-stop broadcast on Windows: the registered message posted to every top-level window.
#include "platform/error_stop_signal.h"

#include <windows.h>

#include "platform/win32/last_error.h"

namespace kestrune::platform {

bool BroadcastErrorStop(Host&, uint64_t sender, std::string& why) {
  static const UINT message = RegisterWindowMessageW(L"UNIWM_BROADCASTERRSTOP");
  if (message == 0 || !PostMessageW(HWND_BROADCAST, message, static_cast<WPARAM>(sender), 0)) {
    why = "cannot broadcast UNIWM_BROADCASTERRSTOP: " + LastErrorText();
    return false;
  }
  return true;
}

std::unique_ptr<ErrorStopListener> ListenForErrorStops(Host&, std::string& why) {
  why = "error stops arrive as window messages";
  return nullptr;
}

}  // namespace kestrune::platform
