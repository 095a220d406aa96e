// The Task Scheduler definition of one start-again registration, as the XML text the scheduler
// registers: a logon trigger, the highest run level the registering user has (the run opens
// physical drives, which a limited token cannot), no time limit, no battery rules, and one action
// that starts the program with the registration's arguments. Portable, so that it is checked on
// every build; the Windows registrations use it (platform/win32/win32_auto_start.cpp).
#pragma once

#include <string>

namespace kestrune::platform {

struct StartupTask {
  std::string date;       // registration date, ISO 8601; keeps the registrations in order
  std::string program;    // full path of the program the task starts
  std::string arguments;  // its arguments as one Windows-form line
};

// The task's XML text (UTF-8 here; the caller widens it). Every text is escaped for XML.
std::string StartupTaskXml(const StartupTask& task);

}  // namespace kestrune::platform
