// The text of the calling thread's last Win32 error, for messages.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win32/wide.h"

namespace kestrune::platform {

// The system's message for GetLastError() without its line end, or "error N" when it has none.
inline std::string LastErrorText() {
  DWORD code = GetLastError();
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n ? Narrow(std::wstring_view(text, n)) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace kestrune::platform
