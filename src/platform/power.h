// The operating-system seam for the machine's own power: restarting it or switching it off, through
// the operating system or through the chipset's reset register.
//
// One implementation is compiled per target (platform/linux, platform/win32) and returned by
// MakeSystemPower(); the simulated lab has its own (sim/lab_power.h), which ends the process as a
// restart would and touches nothing real. Tests use the lab's or their own.
#pragma once

#include <memory>
#include <string>

namespace kestrune::platform {

enum class PowerAction { kRestart, kPowerOff };

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

  // True when a request only ends this process as a restart would (the simulated lab): the
  // machine itself keeps running. Thread-safe.
  virtual bool Simulated() const = 0;
};

// True when power actions on the real machine are refused: the environment has KESTRUNE_NO_POWER=1
// or CI set (test runs and CI must never restart, suspend or switch off the machine they run on).
// Thread-safe.
bool RealPowerActionsRefused();

// The operating system's power control. Never null.
std::unique_ptr<Power> MakeSystemPower();

}  // namespace kestrune::platform
