#include "platform/terminal.h"

#include <windows.h>

#include <mutex>

#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

std::mutex gRedirectMutex;
bool gRedirected = false;
HANDLE gStartStdout = nullptr;  // the standard output of the start while it is redirected
HANDLE gCurrentFile = nullptr;  // the file standard output goes to now
// The file before the current one. It is closed only at the redirect after next, so that a thread
// that took the standard handle just before a redirect never writes through a closed handle.
HANDLE gPreviousFile = nullptr;

void Retire(HANDLE file) {
  if (gPreviousFile) CloseHandle(gPreviousFile);
  gPreviousFile = file;
}

}  // namespace

bool OperatorAtTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0 &&
         GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> ReadStandardInputLine(const std::atomic<bool>* cancel) {
  if (cancel && cancel->load()) return std::nullopt;
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return std::nullopt;
  DWORD mode = 0;
  if (GetConsoleMode(in, &mode)) {
    std::wstring line;
    wchar_t buf[256];
    for (;;) {
      DWORD got = 0;
      // Ctrl-C ends the read with nothing read.
      if (!ReadConsoleW(in, buf, 256, &got, nullptr) || got == 0) return std::nullopt;
      line.append(buf, got);
      size_t end = line.find(L'\n');
      if (end != std::wstring::npos) {
        line.resize(end);
        break;
      }
    }
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (cancel && cancel->load()) return std::nullopt;
    return Narrow(line);
  }
  std::string line;
  for (;;) {
    char c = 0;
    DWORD got = 0;
    if (!ReadFile(in, &c, 1, &got, nullptr) || got == 0) {
      if (line.empty()) return std::nullopt;
      break;
    }
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool RedirectStandardOutput(const std::string& path, bool append) {
  std::lock_guard<std::mutex> guard(gRedirectMutex);
  if (path.empty()) {
    if (!gRedirected) return true;
    SetStdHandle(STD_OUTPUT_HANDLE, gStartStdout);
    Retire(gCurrentFile);
    gCurrentFile = nullptr;
    gRedirected = false;
    return true;
  }
  HANDLE file = CreateFileW(Widen(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (!gRedirected) {
    gStartStdout = GetStdHandle(STD_OUTPUT_HANDLE);
    gRedirected = true;
  }
  SetStdHandle(STD_OUTPUT_HANDLE, file);
  if (gCurrentFile) Retire(gCurrentFile);
  gCurrentFile = file;
  return true;
}

}  // namespace kestrune::platform
