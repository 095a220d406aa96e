#include "platform/shell_open.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include "platform/win32/wide.h"

namespace kestrune::platform {

bool ShellOpen(const std::string& path, std::string& error) {
  HINSTANCE r = ShellExecuteW(nullptr, L"open", Widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  // Values above 32 mean success; smaller ones are error codes.
  auto code = reinterpret_cast<INT_PTR>(r);
  if (code > 32) return true;
  error = path + ": the shell cannot open it (code " + std::to_string(static_cast<long long>(code)) + ")";
  return false;
}

}  // namespace kestrune::platform
