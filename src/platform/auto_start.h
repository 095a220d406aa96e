// The operating-system seam for starting this program again after the machine has restarted: named
// registrations, each a command line for this program, run when the machine is back.
//
// Windows: tasks of the Task Scheduler in its root folder, a logon trigger each, the highest run
// level the registering user has, no time limit; a task the scheduler did not keep whole is removed
// and the registration fails.
// Linux: a system unit "kestrune-autorun-<n>.service" per registration (multi-user.target, run as the
// registering user) that runs "kestrune --autorun=<n>", with the arguments in a registration file
// beside it, never in unit syntax; where there is no systemd the registration file alone, read by
// "kestrune --autorun" when the init system starts it. The simulated lab keeps registrations in its
// folder (sim/lab_power.h). Implementations from MakeSystemAutoStart().
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kestrune::platform {

struct AutoStartEntry {
  std::string name;       // "AutoRunOnStartup_12345"
  std::string arguments;  // the program's arguments as one Windows-form line, without argument 0
};

class AutoStart {
 public:
  virtual ~AutoStart() = default;

  // Creates the registration name, or replaces its arguments when it exists (it keeps its place in
  // the order). False with why when it could not be made; nothing is left half made then.
  // Thread-safe.
  virtual bool Register(const std::string& name, const std::string& arguments, std::string& why) = 0;

  // Removes the registration name. True when it is gone (also when there was none). Thread-safe.
  virtual bool Remove(const std::string& name, std::string& why) = 0;

  // Every registration of this program, in the order they were made. False with why when the list
  // cannot be read. Thread-safe.
  virtual bool List(std::vector<AutoStartEntry>& entries, std::string& why) = 0;
};

// The operating system's registrations for this program (programPath is what they start). Never
// null; on a system without a way to register, every Register fails and says why.
std::unique_ptr<AutoStart> MakeSystemAutoStart(const std::string& programPath);

}  // namespace kestrune::platform
