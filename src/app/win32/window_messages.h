// The private messages of the main window and the one main window of the process.
#pragma once

#include <windows.h>

#include <atomic>

namespace kestrune::app::win32 {

inline constexpr UINT kRunFinished = 32805;   // wParam: the executor's last result, lParam: the view
inline constexpr UINT kDisksChanged = 32810;  // the disk list changed: rebuild the combo box
inline constexpr UINT kStatusText = 32814;    // lParam: a new std::wstring the window deletes
inline constexpr UINT kProgress = 32816;      // wParam: position, lParam: the script's second value
inline constexpr UINT kOutputChanged = 32818; // the view's output list changed (one while pending)
inline constexpr UINT kWindowCall = 32820;    // lParam: work for the window thread (window_call.h)

// The main dialog while it exists, else null. Threads post to it; only the window thread sends.
inline std::atomic<HWND> gMainWindow{nullptr};

}  // namespace kestrune::app::win32
