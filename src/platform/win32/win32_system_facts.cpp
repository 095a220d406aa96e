// The system facts of Windows: the product, release and build from "SOFTWARE\\Microsoft\\Windows
// NT\\CurrentVersion", the processor name and the board from "HARDWARE\\DESCRIPTION\\System",
// memory and processors from the system calls, the firmware mode from the firmware variable
// interface, and the storage port's "HmbAllocationPolicy".
#include <windows.h>

#include "platform/system_facts.h"
#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

constexpr const wchar_t* kCurrentVersion = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const wchar_t* kProcessor = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
constexpr const wchar_t* kBios = L"HARDWARE\\DESCRIPTION\\System\\BIOS";
constexpr const wchar_t* kStorPort = L"SYSTEM\\CurrentControlSet\\Control\\StorPort";
constexpr const wchar_t* kHmbValue = L"HmbAllocationPolicy";

std::string RegText(const wchar_t* key, const wchar_t* value) {
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
          ERROR_SUCCESS ||
      bytes == 0)
    return {};
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) !=
      ERROR_SUCCESS)
    return {};
  text.resize(wcsnlen(text.c_str(), text.size()));
  std::string s = Narrow(text);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::optional<DWORD> RegNumber(const wchar_t* key, const wchar_t* value) {
  DWORD v = 0, bytes = sizeof v;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_DWORD, nullptr, &v, &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  return v;
}

class Win32SystemFacts final : public SystemFacts {
 public:
  PlatformSummary Summary() override {
    PlatformSummary s;
    s.productName = RegText(kCurrentVersion, L"ProductName");
    s.releaseId = RegText(kCurrentVersion, L"DisplayVersion");
    if (s.releaseId.empty()) s.releaseId = RegText(kCurrentVersion, L"ReleaseId");
    s.build = RegText(kCurrentVersion, L"CurrentBuild");
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    s.x64 = info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
            info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64;
    s.processors = info.dwNumberOfProcessors;
    s.processorName = RegText(kProcessor, L"ProcessorNameString");
    ULONGLONG kb = 0;
    if (GetPhysicallyInstalledSystemMemory(&kb)) {
      s.memoryBytes = kb * 1024;
    } else {
      MEMORYSTATUSEX m{};
      m.dwLength = sizeof m;
      if (GlobalMemoryStatusEx(&m)) s.memoryBytes = m.ullTotalPhys;
    }
    s.boardMaker = RegText(kBios, L"BaseBoardManufacturer");
    s.boardProduct = RegText(kBios, L"BaseBoardProduct");
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    if (GetComputerNameW(name, &n)) s.computerName = Narrow(std::wstring_view(name, n));
    // Legacy firmware has no variable interface at all; UEFI answers (the empty GUID variable is
    // missing, which is another error).
    GetFirmwareEnvironmentVariableW(L"", L"{00000000-0000-0000-0000-000000000000}", nullptr, 0);
    s.uefi = GetLastError() != ERROR_INVALID_FUNCTION;
    return s;
  }

  HmbPolicyReport HmbPolicy() override {
    HmbPolicyReport r;
    r.available = true;
    if (std::optional<DWORD> v = RegNumber(kStorPort, kHmbValue)) r.value = *v;
    return r;
  }

  bool SetHmbPolicy(uint32_t value, std::string& why) override {
    const DWORD v = value;
    const LSTATUS rc = RegSetKeyValueW(HKEY_LOCAL_MACHINE, kStorPort, kHmbValue, REG_DWORD, &v, sizeof v);
    if (rc == ERROR_SUCCESS) return true;
    SetLastError(static_cast<DWORD>(rc));
    why = "writing HmbAllocationPolicy: " + LastErrorText();
    return false;
  }
};

}  // namespace

std::unique_ptr<SystemFacts> MakeSystemFacts() { return std::make_unique<Win32SystemFacts>(); }

}  // namespace kestrune::platform
