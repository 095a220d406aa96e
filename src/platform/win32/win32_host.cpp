// Host for Windows: Win32 calls, UTF-16 at the boundary, UTF-8 inside.
#include <windows.h>
#include <bcrypt.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/embedded_package.h"
#include "platform/host.h"
#include "platform/named_objects.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

void WriteHandle(DWORD which, std::string_view text) {
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0;
  if (GetConsoleMode(h, &mode)) {
    std::wstring w = Widen(text);
    DWORD written = 0;
    WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
    return;
  }
  // Redirected to a file or pipe: write the bytes as they are.
  while (!text.empty()) {
    DWORD written = 0;
    if (!WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

std::wstring ImagePathOf(DWORD pid) {
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!p) return L"";
  wchar_t buf[MAX_PATH * 2];
  DWORD n = MAX_PATH * 2;
  std::wstring out;
  if (QueryFullProcessImageNameW(p, 0, buf, &n)) out.assign(buf, n);
  CloseHandle(p);
  return out;
}

DWORD ParentOf(DWORD pid) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  DWORD parent = 0;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
    if (e.th32ProcessID == pid) {
      parent = e.th32ParentProcessID;
      break;
    }
  }
  CloseHandle(snap);
  return parent;
}

class Win32Host final : public Host {
 public:
  std::vector<std::string> Arguments() const override {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; argv && i < argc; ++i) args.push_back(Narrow(argv[i]));
    if (argv) LocalFree(argv);
    return args;
  }

  std::string TempFolder() const override {
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    std::wstring w(buf, n);
    while (w.size() > 3 && (w.back() == L'\\' || w.back() == L'/')) w.pop_back();
    return Narrow(w);
  }

  std::string ProgramPath() const override {
    std::wstring buf(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    buf.resize(n);
    return Narrow(buf);
  }

  std::string ProgramFolder() const override {
    std::string p = ProgramPath();
    auto slash = p.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
  }

  uint32_t ProcessId() const override { return GetCurrentProcessId(); }

  LocalTime Now() const override {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  }

  uint64_t MonotonicMs() const override { return GetTickCount64(); }

  void SleepMs(uint32_t ms) override { Sleep(ms); }

  uint64_t Ticks() const override {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<uint64_t>(t.QuadPart);
  }

  uint64_t TickFrequency() const override {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);  // never fails on XP and later
    return f.QuadPart > 0 ? static_cast<uint64_t>(f.QuadPart) : 1u;
  }

  uint32_t ProcessorCount() const override {
    DWORD n = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return n > 0 ? n : 1u;
  }

  bool RandomBytes(std::span<uint8_t> bytes) override {
    // BCryptGenRandom takes a ULONG length: fill in pieces below 4 GiB.
    size_t done = 0;
    while (done < bytes.size()) {
      ULONG piece = static_cast<ULONG>(std::min<size_t>(bytes.size() - done, 1u << 30));
      if (BCryptGenRandom(nullptr, bytes.data() + done, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) return false;
      done += piece;
    }
    return true;
  }

  bool CreateFolders(const std::string& path) override {
    std::wstring w = Widen(path);
    for (size_t pos = 0; (pos = w.find_first_of(L"\\/", pos + 1)) != std::wstring::npos;) {
      std::wstring part = w.substr(0, pos);
      if (part.size() <= 2 && part.size() >= 1 && part.back() == L':') continue;  // "C:"
      CreateDirectoryW(part.c_str(), nullptr);
    }
    CreateDirectoryW(w.c_str(), nullptr);
    DWORD attr = GetFileAttributesW(w.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
  }

  std::span<const uint8_t> EmbeddedPackage() const override { return EmbeddedPackageBytes(); }

  bool AttachConsole() override {
    // A GUI-subsystem program has no console of its own; a console program already has its parent's.
    if (GetConsoleWindow() == nullptr && !::AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
      FILE* f = nullptr;
      if (_wfreopen_s(&f, L"CONOUT$", L"w", stdout) != 0) return false;
    }
    return true;
  }

  void DetachConsole() override { FreeConsole(); }

  void WriteStdout(std::string_view text) override { WriteHandle(STD_OUTPUT_HANDLE, text); }
  void WriteStderr(std::string_view text) override { WriteHandle(STD_ERROR_HANDLE, text); }

  bool UnderRemoteLogin() override {
    DWORD pid = GetCurrentProcessId();
    for (int i = 0; i < 10; ++i) {
      pid = ParentOf(pid);
      if (pid == 0) break;
      std::wstring image = ImagePathOf(pid);
      if (image.find(L"OpenSSH") != std::wstring::npos || image.find(L"sshd.exe") != std::wstring::npos)
        return true;
      std::wstring lower = image;
      for (auto& c : lower) c = static_cast<wchar_t>(towlower(c));
      if (lower.find(L"powershell") != std::wstring::npos) {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (GetConsoleScreenBufferInfo(out, &info)) {
          COORD size = info.dwSize;
          size.Y = size.Y < 9000 ? 9001 : 8999;
          SetConsoleScreenBufferSize(out, size);
        }
        break;
      }
    }
    return false;
  }

  std::string ToAnsi(std::string_view utf8) const override {
    std::wstring w = Widen(utf8);
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
  }

  std::string FromAnsi(std::string_view ansi) const override {
    if (ansi.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
    return Narrow(w);
  }

  // ---- Named shared memory and machine-wide locks ----
  std::unique_ptr<SharedBlock> OpenSharedBlock(std::string_view name, size_t size,
                                               std::string& why) override {
    return OpenNamedSharedBlock(name, size, why);
  }
  std::unique_ptr<NamedLock> AcquireNamedLock(std::string_view name, uint32_t timeoutMs,
                                              std::string& why) override {
    return AcquireMachineLock(name, timeoutMs, why);
  }
  // ---- end of named shared memory and machine-wide locks ----
};

}  // namespace

Host& DefaultHost() {
  static Win32Host host;
  return host;
}

std::span<const uint8_t> EmbeddedPackageBytes() {
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(1000), L"SCRIPTZIP");
  if (!res) return {};
  HGLOBAL mem = LoadResource(nullptr, res);
  if (!mem) return {};
  const void* data = LockResource(mem);
  DWORD size = SizeofResource(nullptr, res);
  if (!data || size == 0) return {};
  return {static_cast<const uint8_t*>(data), size};
}

}  // namespace kestrune::platform
