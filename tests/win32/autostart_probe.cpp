// The probe of tests/win32/autostart_check.sh: the Windows start-again registrations (the Task
// Scheduler backend) driven by hand under Wine.
//   autostart_probe register NAME ARGUMENTS   prints "registered" or the reason, exit 0 / 1
//   autostart_probe remove NAME               prints "removed" or the reason
//   autostart_probe list                      one "NAME|ARGUMENTS" line per registration
//   autostart_probe xml ARGUMENTS             the task text a registration hands the scheduler,
//                                             UTF-16LE with a byte-order mark, as the scheduler gets it
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>

#include "platform/auto_start.h"
#include "platform/startup_task_xml.h"
#include "platform/win32/wide.h"

// The program every registration of the probe starts.
constexpr const char* kProgram = "C:\\kestrune\\kestrune.exe";

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string verb = argv[1];
  std::unique_ptr<kestrune::platform::AutoStart> tasks =
      kestrune::platform::MakeSystemAutoStart(kProgram);
  std::string why;
  if (verb == "register" && argc == 4) {
    if (!tasks->Register(argv[2], argv[3], why)) return std::printf("%s\n", why.c_str()), 1;
    return std::printf("registered\n"), 0;
  }
  if (verb == "remove" && argc == 3) {
    if (!tasks->Remove(argv[2], why)) return std::printf("%s\n", why.c_str()), 1;
    return std::printf("removed\n"), 0;
  }
  if (verb == "xml" && argc == 3) {
    const std::wstring text = L"\xFEFF" + kestrune::platform::Widen(kestrune::platform::StartupTaskXml(
                                              {"2026-01-02T03:04:05.006", kProgram, argv[2]}));
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(text.data(), sizeof(wchar_t), text.size(), stdout);
    return 0;
  }
  if (verb == "list") {
    std::vector<kestrune::platform::AutoStartEntry> entries;
    if (!tasks->List(entries, why)) return std::printf("%s\n", why.c_str()), 1;
    for (const auto& e : entries) std::printf("%s|%s\n", e.name.c_str(), e.arguments.c_str());
    return 0;
  }
  return 2;
}
