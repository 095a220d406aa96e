// Power control of a Linux machine: systemd's reboot or poweroff (checked by its exit code), else a
// sync and the reboot system call; the chipset's reset register through /dev/port.
#include <fcntl.h>
#include <sys/reboot.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "platform/power.h"
#include "platform/process.h"

namespace kestrune::platform {
namespace {

std::optional<std::string> Systemctl() {
  for (const char* path : {"/usr/bin/systemctl", "/bin/systemctl"})
    if (FileExists(path) && FolderExists("/run/systemd/system")) return std::string(path);
  return std::nullopt;
}

std::string ReadText(const char* path) {
  std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

// One write of text to a sysfs file, as "echo text > path" does.
bool WriteText(const char* path, const std::string& text, std::string& why) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (!ok) why = std::string(path) + ": " + std::strerror(errno);
  if (fd >= 0) ::close(fd);
  return ok;
}

class LinuxPower final : public Power {
 public:
  bool Request(PowerAction action, std::string& why) override {
    if (RealPowerActionsRefused()) {
      why = kPowerActionsRefused;
      return false;
    }
    const char* verb = action == PowerAction::kRestart ? "reboot" : "poweroff";
    if (std::optional<std::string> systemctl = Systemctl()) {
      std::string error;
      std::unique_ptr<Process> p = DefaultProcessLauncher().Start(*systemctl, {*systemctl, verb}, "", error);
      if (p) {
        std::optional<int> code = p->Wait(nullptr);
        if (code && *code == 0) return true;
        why = std::string("systemctl ") + verb + " failed";
      } else {
        why = error;
      }
      // Falls through to the system call: a machine that must restart should not stay up because
      // its service manager is unwell.
    }
    ::sync();
    if (::reboot(action == PowerAction::kRestart ? RB_AUTOBOOT : RB_POWER_OFF) == 0) return true;
    why += (why.empty() ? "" : "; ") + std::string("reboot(2): ") + std::strerror(errno);
    return false;
  }

  bool HardwareRestart(std::string& why) override {
    if (RealPowerActionsRefused()) {
      why = kPowerActionsRefused;
      return false;
    }
    const int fd = ::open("/dev/port", O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      why = std::string("/dev/port: ") + std::strerror(errno);
      return false;
    }
    // The reset control register: a system reset (bit 1) with a full reset (bit 3), then the
    // reset itself (bit 2).
    const unsigned char first = 0x0A, second = 0x0E;
    const bool ok = ::pwrite(fd, &first, 1, 0xCF9) == 1 && ::pwrite(fd, &second, 1, 0xCF9) == 1;
    if (!ok) why = std::string("/dev/port 0xCF9: ") + std::strerror(errno);
    ::close(fd);
    return ok;
  }

  // The RTC's wake alarm ("0" clears an old one, "+N" sets it N seconds ahead), then "deep" into
  // mem_sleep and "mem" into /sys/power/state for S3, "disk" for S4. The write to the state file
  // returns once the machine has resumed.
  SleepResult SleepAndWake(SleepState state, uint32_t seconds, std::string& why) override {
    if (RealPowerActionsRefused()) {
      why = kPowerActionsRefused;
      return SleepResult::kFailed;
    }
    const std::string states = ReadText("/sys/power/state");
    if (state == SleepState::kS3 && (ReadText("/sys/power/mem_sleep").find("deep") == std::string::npos ||
                                     states.find("mem") == std::string::npos))
      return SleepResult::kNotOffered;
    if (state == SleepState::kS4 && states.find("disk") == std::string::npos) return SleepResult::kNotOffered;
    const char* alarm = "/sys/class/rtc/rtc0/wakealarm";
    if (!WriteText(alarm, "0", why) || !WriteText(alarm, "+" + std::to_string(seconds), why)) return SleepResult::kFailed;
    if (state == SleepState::kS3 && !WriteText("/sys/power/mem_sleep", "deep", why)) return SleepResult::kFailed;
    ::sync();
    if (!WriteText("/sys/power/state", state == SleepState::kS3 ? "mem" : "disk", why)) return SleepResult::kFailed;
    return SleepResult::kWoke;
  }

  bool Simulated() const override { return false; }
};

}  // namespace

std::unique_ptr<Power> MakeSystemPower(const std::string&) { return std::make_unique<LinuxPower>(); }

}  // namespace kestrune::platform
