// Outside programs on Windows: CreateProcessW with the program file named explicitly (the command
// interpreter is never involved), WaitForSingleObject, and a Toolhelp snapshot for the
// running-process count.
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include <vector>

#include "platform/command_line_split.h"
#include "platform/process.h"
#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

bool EndsWithNoCase(std::wstring_view s, std::wstring_view suffix) {
  return s.size() >= suffix.size() &&
         CompareStringOrdinal(s.data() + s.size() - suffix.size(), static_cast<int>(suffix.size()),
                              suffix.data(), static_cast<int>(suffix.size()), TRUE) == CSTR_EQUAL;
}

class Win32Process final : public Process {
 public:
  Win32Process(HANDLE process, DWORD id) : process_(process), id_(id) {}
  ~Win32Process() override { CloseHandle(process_); }

  uint32_t Id() const override { return id_; }

  std::optional<int> Wait(const std::atomic<bool>* cancel, uint32_t pollMs) override {
    if (exitCode_) return exitCode_;
    for (;;) {
      DWORD r = WaitForSingleObject(process_, cancel ? (pollMs ? pollMs : 1) : INFINITE);
      if (r == WAIT_OBJECT_0) {
        DWORD code = 0;
        exitCode_ = GetExitCodeProcess(process_, &code) ? static_cast<int>(code) : -1;
        return exitCode_;
      }
      if (r != WAIT_TIMEOUT) return exitCode_ = -1;
      if (cancel->load()) return std::nullopt;
    }
  }

 private:
  HANDLE process_;
  DWORD id_;
  std::optional<int> exitCode_;
};

class Win32ProcessLauncher final : public ProcessLauncher {
 public:
  std::unique_ptr<Process> Start(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& workingFolder, std::string& error) override {
    std::vector<std::string> all = args;
    if (all.empty()) all.push_back(program);
    return StartCommandLine(program, JoinWindowsCommandLine(all), workingFolder, error);
  }

  std::unique_ptr<Process> StartCommandLine(const std::string& program, const std::string& commandLine,
                                            const std::string& workingFolder, std::string& error) override {
    std::wstring app = Widen(program);
    // CreateProcessW would hand a batch file to the command interpreter together with the command
    // line, whose own parsing of the arguments could then run commands: such files are refused.
    if (EndsWithNoCase(app, L".bat") || EndsWithNoCase(app, L".cmd")) {
      error = program + ": batch files are not started (they would run through the command interpreter)";
      return nullptr;
    }
    std::wstring line = Widen(commandLine);
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    std::wstring folder = Widen(workingFolder);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(app.c_str(), buffer.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        nullptr, folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
      error = program + ": " + LastErrorText();
      return nullptr;
    }
    CloseHandle(pi.hThread);
    return std::make_unique<Win32Process>(pi.hProcess, pi.dwProcessId);
  }

  int CountRunning(std::string_view imageName) override {
    std::wstring name = Widen(imageName);
    if (name.empty()) return 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    int count = 0;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
      if (CompareStringOrdinal(e.szExeFile, -1, name.c_str(), static_cast<int>(name.size()), TRUE) ==
          CSTR_EQUAL)
        ++count;
    }
    CloseHandle(snap);
    return count;
  }

  std::string ShortPathForm(const std::string& path) override {
    std::wstring wide = Widen(path);
    DWORD n = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (n == 0) return path;
    std::wstring out(n, L'\0');
    n = GetShortPathNameW(wide.c_str(), out.data(), n);
    if (n == 0 || n >= out.size()) return path;
    out.resize(n);
    return Narrow(out);
  }

  std::string ProgramSearchPath() override {
    DWORD n = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (n == 0) return {};
    std::wstring out(n, L'\0');
    n = GetEnvironmentVariableW(L"PATH", out.data(), n);
    out.resize(n);
    return Narrow(out);
  }
};

}  // namespace

ProcessLauncher& DefaultProcessLauncher() {
  static Win32ProcessLauncher launcher;
  return launcher;
}

}  // namespace kestrune::platform
