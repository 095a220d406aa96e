// The probe of tests/win32/autostart_check.sh: the Windows start-again registrations (the Task
// Scheduler backend) driven by hand under Wine.
//   autostart_probe register NAME ARGUMENTS   prints "registered" or the reason, exit 0 / 1
//   autostart_probe remove NAME               prints "removed" or the reason
//   autostart_probe list                      one "NAME|ARGUMENTS" line per registration
#include <cstdio>
#include <string>
#include <vector>

#include "platform/auto_start.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string verb = argv[1];
  std::unique_ptr<kestrune::platform::AutoStart> tasks =
      kestrune::platform::MakeSystemAutoStart("C:\\kestrune\\kestrune.exe");
  std::string why;
  if (verb == "register" && argc == 4) {
    if (!tasks->Register(argv[2], argv[3], why)) return std::printf("%s\n", why.c_str()), 1;
    return std::printf("registered\n"), 0;
  }
  if (verb == "remove" && argc == 3) {
    if (!tasks->Remove(argv[2], why)) return std::printf("%s\n", why.c_str()), 1;
    return std::printf("removed\n"), 0;
  }
  if (verb == "list") {
    std::vector<kestrune::platform::AutoStartEntry> entries;
    if (!tasks->List(entries, why)) return std::printf("%s\n", why.c_str()), 1;
    for (const auto& e : entries) std::printf("%s|%s\n", e.name.c_str(), e.arguments.c_str());
    return 0;
  }
  return 2;
}
