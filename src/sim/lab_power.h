// The machine's power and start-again registrations in the simulated lab. A restart asked of the
// lab powers nothing real: the drives are shut down in order (or lose their caches, for a reset
// through the reset register), and the caller ends its process as the restart would. Registrations
// are files in the lab folder's "autorun" folder, so that "kestrune /sim SIMDIR:folder --autorun"
// finds them as the next logon would.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/auto_start.h"
#include "platform/host.h"
#include "platform/power.h"
#include "platform/registration_folder.h"

namespace kestrune::sim {

class SimLab;

// What the lab machine's sleep does: every suspend fails, or a state is not offered (nothing
// happens, as on a machine without it).
struct LabSleep {
  bool fails = false;
  bool s3 = true;
  bool s4 = true;
};

class LabPower final : public platform::Power {
 public:
  // lab may be null (a run without drives). It and host must outlive this object. A sleep passes
  // on host's clock.
  LabPower(SimLab* lab, platform::Host& host, LabSleep sleep = {}) : lab_(lab), host_(host), sleep_(sleep) {}
  bool Request(platform::PowerAction action, std::string& why) override;
  bool HardwareRestart(std::string& why) override;
  platform::SleepResult SleepAndWake(platform::SleepState state, uint32_t seconds, std::string& why) override;
  bool Simulated() const override { return true; }
  // How many restarts were asked for (tests).
  int requests() const { return requests_.load(); }

 private:
  SimLab* lab_;
  platform::Host& host_;
  LabSleep sleep_;
  std::atomic<int> requests_{0};
};

class LabAutoStart final : public platform::AutoStart {
 public:
  // Registrations below labFolder, each starting program.
  LabAutoStart(const std::string& labFolder, std::string program);
  bool Register(const std::string& name, const std::string& arguments, std::string& why) override;
  bool Remove(const std::string& name, std::string& why) override;
  bool List(std::vector<platform::AutoStartEntry>& entries, std::string& why) override;

 private:
  platform::RegistrationFolder folder_;
  std::string program_;
};

}  // namespace kestrune::sim
