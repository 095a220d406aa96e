// The operating-system seam for the machine's own power: restarting it or switching it off, through
// the operating system or through the chipset's reset register.
//
// One implementation is compiled per target (platform/linux, platform/win32) and returned by
// MakeSystemPower(programFolder); the simulated lab has its own (sim/lab_power.h), which ends the process as a
// restart would and touches nothing real. Tests use the lab's or their own.
#pragma once

#include <memory>
#include <string>

namespace kestrune::platform {

enum class PowerAction { kRestart, kPowerOff };

// Sleep (S3, suspend to memory) and hibernation (S4, suspend to disk).
enum class SleepState { kS3 = 3, kS4 = 4 };
enum class SleepResult { kWoke, kNotOffered, kFailed };

class Power {
 public:
  virtual ~Power() = default;

  // Asks the operating system to restart or switch off the machine (pending writes are flushed by
  // it as at any shutdown). True when the request was accepted: the machine goes down soon after,
  // and the caller should end its work. False with why when it was refused or failed; nothing
  // happens then. Thread-safe.
  virtual bool Request(PowerAction action, std::string& why) = 0;

  // Restarts the machine at once through the reset control register (I/O port 0xCF9: 0x0A, then
  // 0x0E), without the operating system: unflushed writes are lost, as at a power cut. True when
  // the request was issued. Thread-safe.
  virtual bool HardwareRestart(std::string& why) = 0;

  // Puts the machine into state with a wake timer seconds from now and returns once it is awake
  // again: kWoke. kNotOffered (nothing happened) when the machine lacks the state; kFailed with
  // why when the timer or the suspend failed (the machine did not sleep). Blocks the calling
  // thread for the sleep. Thread-safe; one sleep at a time in the machine.
  virtual SleepResult SleepAndWake(SleepState state, uint32_t seconds, std::string& why) = 0;

  // True when a request only ends this process as a restart would (the simulated lab): the
  // machine itself keeps running. Thread-safe.
  virtual bool Simulated() const = 0;
};

// True when power actions on the real machine are refused: the environment has KESTRUNE_NO_POWER=1
// or CI set (test runs and CI must never restart, suspend or switch off the machine they run on).
// Thread-safe.
bool RealPowerActionsRefused();
// The words of a refused power action's failure.
inline constexpr const char* kPowerActionsRefused = "power actions are refused here (KESTRUNE_NO_POWER=1 or CI is set)";

// The operating system's power control. programFolder holds the Windows kernel driver file (the
// reset register is reached through it). Never null.
std::unique_ptr<Power> MakeSystemPower(const std::string& programFolder);

}  // namespace kestrune::platform
