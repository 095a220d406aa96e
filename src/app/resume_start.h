// Starts that belong to restarts: a run that goes on from its save (FRAME:id/n), and the start-again
// registrations run, listed or cleared by hand (--autorun, --autorun=<id>, --autorun-list,
// --autorun-clear).
#pragma once

#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/console.h"
#include "engine/interpreter.h"
#include "engine/run_save.h"
#include "platform/auto_start.h"
#include "platform/host.h"

namespace kestrune::app {

// True for the init commands handled by RunAutorunCommand.
bool IsAutorunCommand(const std::string& initCommand);

// --autorun runs every registered command line, one after another in registration order (what the
// next logon would start), --autorun=<id> the one of that save id; the exit code is the last run's
// (0 when nothing is registered). --autorun-list prints them, one a line ("<name> <arguments>");
// --autorun-clear removes them all. Errors go to standard error.
int RunAutorunCommand(const std::string& initCommand, platform::AutoStart& autoStart, platform::Host& host,
                      Console& console);

// A start with FRAME:id/n: loads and checks the save of id (its generation n, the script and its
// contents, the disk by its DRVHW identity, waited for up to waitSec as drives can appear late at
// boot, and its serial number), removes the registration, and runs the script from where it was
// saved. On any failure one line says why, the registration is removed, the files are kept,
// nothing runs: the check gives no save and the nonzero exit code. On success the current disk is
// the saved run's and the console mirror is open again; run the save with ResumeScript.
struct ResumeCheck {
  std::optional<engine::LoadedSave> save;
  int failureCode = 0;
};
ResumeCheck PrepareResume(engine::Interpreter& interp, const CommandLine& cl, Console& console, platform::Host& host,
                          int waitSec);

}  // namespace kestrune::app
