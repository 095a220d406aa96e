// Power control of a Windows machine: the system's restart or power-off request, after enabling
// the shutdown privilege of the process token.
#include <windows.h>
#include <powrprof.h>

#include "platform/power.h"
#include "platform/win32/iorw_driver.h"
#include "platform/win32/last_error.h"

namespace kestrune::platform {
namespace {

bool EnableShutdownPrivilege(std::string& why) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    why = "OpenProcessToken: " + LastErrorText();
    return false;
  }
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool ok = LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &tp.Privileges[0].Luid) &&
            AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
  if (!ok) why = "SeShutdownPrivilege: " + LastErrorText();
  CloseHandle(token);
  return ok;
}

class Win32Power final : public Power {
 public:
  explicit Win32Power(std::string programFolder) : folder_(std::move(programFolder)) {}

  bool Request(PowerAction action, std::string& why) override {
    if (RealPowerActionsRefused()) {
      why = kPowerActionsRefused;
      return false;
    }
    if (!EnableShutdownPrivilege(why)) return false;
    const UINT flags = action == PowerAction::kRestart ? EWX_REBOOT : EWX_POWEROFF;
    if (ExitWindowsEx(flags, SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_FLAG_PLANNED)) return true;
    why = "ExitWindowsEx: " + LastErrorText();
    return false;
  }

  // The reset control register through the IOrw driver: 0x0A selects a hard reset, 0x0E starts it.
  bool HardwareRestart(std::string& why) override {
    if (RealPowerActionsRefused()) {
      why = kPowerActionsRefused;
      return false;
    }
    std::unique_ptr<IorwDriver> driver = IorwDriver::OpenNamingFailure(folder_, why);
    if (!driver) return false;
    for (const uint8_t value : {uint8_t{0x0A}, uint8_t{0x0E}}) {
      iorw::Record r = iorw::PortWrite8(0xCF9, value);
      if (!driver->Exchange(r, why)) return false;
    }
    return true;
  }

  // A waitable timer with the resume flag wakes the machine; SetSuspendState returns once it is
  // awake again.
  SleepResult SleepAndWake(SleepState state, uint32_t seconds, std::string& why) override {
    if (RealPowerActionsRefused()) {
      why = kPowerActionsRefused;
      return SleepResult::kFailed;
    }
    const bool hibernate = state == SleepState::kS4;
    if (hibernate ? !IsPwrHibernateAllowed() : !IsPwrSuspendAllowed()) return SleepResult::kNotOffered;
    HANDLE timer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
    if (!timer) {
      why = "CreateWaitableTimer: " + LastErrorText();
      return SleepResult::kFailed;
    }
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(seconds) * 10000000LL;
    SleepResult result = SleepResult::kWoke;
    if (!SetWaitableTimer(timer, &due, 0, nullptr, nullptr, TRUE)) {
      why = "SetWaitableTimer: " + LastErrorText();
      result = SleepResult::kFailed;
    } else if (!SetSuspendState(hibernate, FALSE, FALSE)) {
      why = "SetSuspendState: " + LastErrorText();
      result = SleepResult::kFailed;
    } else {
      WaitForSingleObject(timer, INFINITE);
    }
    CloseHandle(timer);
    return result;
  }

  bool Simulated() const override { return false; }

 private:
  std::string folder_;
};

}  // namespace

std::unique_ptr<Power> MakeSystemPower(const std::string& programFolder) {
  return std::make_unique<Win32Power>(programFolder);
}

}  // namespace kestrune::platform
