// PCReBoot: the machine restarts or switches off, the run saved first so that it goes on after the
// restart (BootContinue). AutoRunOnStartup: the script is started again after the next logon.
//
// The save is made on the run thread when the command runs, also with a delay: a delayed restart
// only restarts. A save or registration that fails stops everything before any power action: a
// machine that restarts without its save would run the script from the beginning, or nothing.
#include "app/reboot_commands.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/machine_control.h"
#include "app/run_persistence.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/acpi_s5.h"
#include "devcmd/lan_power_cycle.h"
#include "devcmd/power_station.h"
#include "disk/disk_state.h"
#include "engine/detail_line.h"
#include "engine/arguments.h"
#include "engine/output.h"
#include "engine/view.h"

namespace kestrune::app {
namespace {

namespace code = base::code;
using base::Format;
using engine::ArgReader;
using engine::HandlerRow;
using engine::Interpreter;
using engine::kAnyDisk;
using engine::kDetail;
namespace colour = engine::colour;

constexpr int64_t kMaxDelaySec = 7 * 24 * 3600;
constexpr const char* kRebootLock = "PCReboot";

constexpr auto& Line = engine::DetailLine;

// The delayed restart of each view: its countdown thread and the flag that gives it up. The run's end
// gives it up and joins it, so the thread never outlives the run. A restart given up drops the save
// it made, so that no later start goes on with a run that never restarted; not when a later restart
// that saved anew replaces it (keepSave: the save is the later one's), nor when the run ends for
// another restart.
struct DelayedRestart {
  std::thread thread;
  std::atomic<bool> giveUp{false};
  std::atomic<bool> keepSave{false};
};
struct DelayedRestarts {
  std::array<DelayedRestart, Interpreter::kViews> views;
};

void StopDelayedRestart(Interpreter& interp, uint32_t view, bool keepSave) {
  DelayedRestart& d = interp.State<DelayedRestarts>().views.at(view);
  d.keepSave.store(keepSave);
  d.giveUp.store(true);
  if (d.thread.joinable()) d.thread.join();
  d.giveUp.store(false);
  d.keepSave.store(false);
}

// "PCReboot", held from a restart request to the end of the process.
struct RebootLock {
  std::unique_ptr<platform::NamedLock> held;
};

struct RestartRequest {
  int powerAction = 1;  // 0 switch off, 1 restart, 2 switch off (after the LAN power cycle)
  bool spor = false;
  // A switch-off with SPOR: the power cut through the ACPI registers, not a restart.
  bool AcpiCut() const { return spor && powerAction != 1; }
};

// Restarts or switches off through the power seam, or cuts the power through the ACPI registers;
// only one view of the machine does (the lock "PCReboot"). True when the machine goes down (or
// another view already takes it down).
bool PerformRestart(Interpreter& interp, const RestartRequest& req, std::string& why) {
  MachineControl& mc = MachineControlOf(interp);
  std::string lockWhy;
  std::unique_ptr<platform::NamedLock> lock = interp.host().AcquireNamedLock(kRebootLock, 0, lockWhy);
  if (!lock) return true;  // another instance is restarting the machine
  // A reset or power cut keeps only what reached the disk, and even a shutdown may hang and be cut:
  // the run's log goes to the disk first.
  interp.writer().MakeDurable();
  const bool restart = req.powerAction == 1;
  bool ok = req.AcpiCut() ? devcmd::AcpiPowerCut(*mc.acpi, *mc.ports, why)
            : req.spor    ? mc.power->HardwareRestart(why)
                          : mc.power->Request(restart ? platform::PowerAction::kRestart : platform::PowerAction::kPowerOff, why);
  // The lock stays taken until the process ends, so no other instance asks again meanwhile.
  if (ok) interp.State<RebootLock>().held = std::move(lock);
  return ok;
}

// The start of the failure text of a request that did not take the machine down.
std::string NotDown(const RestartRequest& req) {
  return req.powerAction == 1 ? "the machine did not restart: " : "the machine did not switch off: ";
}

// PowerAction 2: the LAN power-cycle server of the station file is asked to cut and restore the
// power; then, a second later, the PC switches itself off. False with why when the server is not
// reached: nothing else may happen then.
bool AskLanServer(Interpreter& interp, const std::function<bool()>& givenUp, std::string& why) {
  MachineControl& mc = MachineControlOf(interp);
  if (!mc.tcp) return (why = "this build has no network client", false);
  const devcmd::LanPowerServer server = devcmd::LanPowerServerOf(interp);
  const devcmd::LanPowerOutcome asked =
      devcmd::AskLanPowerCycle(*mc.tcp, interp.host(), server.address, server.port, givenUp);
  if (!asked.done) return (why = asked.detail, false);
  interp.host().SleepMs(1000);
  return true;
}

void EndForRestart(Interpreter& interp, uint32_t view) {
  engine::View& v = interp.view(view);
  v.restartRequested.store(true);
  v.endAndClose.store(true);
}

void PCReBoot(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {"DelayRunSec", "PowerAction", "SPOR", "BootContinue"});
  const int64_t delay = in.I64(0);
  RestartRequest req;
  const int64_t action = in.I64(1);
  req.spor = in.Bool(false);
  const bool bootContinue = in.Bool(true);
  if (!in.ok()) return;
  if (delay < 0 || delay > kMaxDelaySec)
    return interp.ReportCompletion(view, code::kBadParameter, Format("DelayRunSec %lld", static_cast<long long>(delay)));
  if (action < 0 || action > 2)
    return interp.ReportCompletion(view, code::kBadParameter, Format("PowerAction %lld", static_cast<long long>(action)));
  req.powerAction = static_cast<int>(action);
  if (!PowerUsable(interp, view)) return;
  MachineControl& mc = MachineControlOf(interp);
  if (req.AcpiCut() && (!mc.acpi || !mc.ports))
    return interp.ReportCompletion(view, code::kNotSupported, "a power cut through the ACPI registers is not available");

  if (req.powerAction == 2 && delay == 0) {
    std::string why;
    if (!AskLanServer(interp, [&v] { return v.cancel.load(); }, why))
      return interp.ReportCompletion(view, code::kTcpServerNotFound, why);
  }
  const bool save = bootContinue && req.powerAction != 0;
  if (save) {
    std::string why;
    if (!SaveRunForRestart(interp, view, why))
      return interp.ReportCompletion(view, code::kError, "the run could not be saved for the restart: " + why);
  }
  if (delay == 0) {
    // A countdown still pending is replaced; its save goes with it unless this restart saved anew
    // (the same files).
    StopDelayedRestart(interp, view, save);
    std::string why;
    if (!PerformRestart(interp, req, why)) {
      if (save) DropRestartSave(interp, v.saveId);
      return interp.ReportCompletion(view, code::kError, NotDown(req) + why);
    }
    EndForRestart(interp, view);
    v.vars.SetNumber("_ErrorCheck", 5);
    return;
  }
  // The countdown runs beside the script, which goes on meanwhile; a cancel or the run's end
  // gives the restart up.
  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  engine::LineRef line = writer.WriteLine(out, Format("Wait %lld Sec for PC PowerOff...", static_cast<long long>(delay)),
                                          kDetail, 10, colour::kGrey);
  // A second delayed restart replaces the first; the first's save stays only when this one saved
  // anew (the same files).
  StopDelayedRestart(interp, view, save);
  DelayedRestart& slot = interp.State<DelayedRestarts>().views.at(view);
  const uint32_t saveId = save ? v.saveId : 0;
  slot.thread = std::thread([&interp, &slot, view, req, delay, line, saveId] {
    engine::View& v = interp.view(view);
    engine::OutputWriter& writer = interp.writer();
    engine::ViewOutput* out = interp.output(view);
    auto givenUp = [&] { return slot.giveUp.load() || v.cancel.load() || v.scriptEnded.load(); };
    auto giveUp = [&] {
      if (saveId != 0 && !slot.keepSave.load() && !v.restartRequested.load()) DropRestartSave(interp, saveId);
    };
    for (int64_t left = delay; left > 0; --left) {
      if (givenUp()) return giveUp();
      writer.RewriteLine(out, line, Format("Wait %lld Sec for PC PowerOff...", static_cast<long long>(left)));
      for (int slice = 0; slice < 10 && !givenUp(); ++slice) interp.host().SleepMs(100);
    }
    if (givenUp()) return giveUp();
    std::string why;
    if (req.powerAction == 2 && !AskLanServer(interp, givenUp, why)) {
      if (saveId != 0) DropRestartSave(interp, saveId);
      interp.PostCompletion(view, code::kTcpServerNotFound, why);
      return;
    }
    if (!PerformRestart(interp, req, why)) {
      if (saveId != 0) DropRestartSave(interp, saveId);
      interp.PostCompletion(view, code::kError, NotDown(req) + why);
      return;
    }
    EndForRestart(interp, view);
  });
}

void AutoRunOnStartup(Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  engine::View& v = interp.view(view);
  MachineControl& mc = MachineControlOf(interp);
  RemoveRestartRegistration(interp, view);
  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  const char* kWait = "Wait [ESC] %d sec to delete Windows Startup Auto-Run Setting";
  engine::LineRef line = writer.WriteLine(out, Format(kWait, 8), kDetail, 10, colour::kGrey);
  for (int left = 7; left >= 0; --left) {
    interp.host().SleepMs(1000);
    if (v.cancel.load()) {
      Line(interp, view, "Windows Startup Auto-Run Setting is Deleted", colour::kCyan);
      return;
    }
    writer.RewriteLine(out, line, Format(kWait, left));
    if (v.vars.Get("_ErrorCheck").number == 3) break;
  }
  writer.RewriteLine(out, line, "Set Windows Startup Auto-Run Setting");
  Line(interp, view, "Current script will Auto-Run on next time Windows Startup", colour::kCyan);
  Line(interp, view, "Call Exit() to exit script will stop AutoRunOnStartup", colour::kCyan);
  if (!mc.autoStart) return;
  disk::DiskState& disks = disk::StateOf(interp);
  std::string argsText = Format("SCRIPT:\"%s\", DRIVE:\"%s\", AUTOCLOSE:0", v.scriptPath.c_str(),
                                disks.hasCurrent ? disks.current.devicePath.c_str() : "");
  if (!mc.diskArguments.empty()) argsText += " " + mc.diskArguments;
  std::string why;
  // A registration the system refuses leaves the script going on, with a line that says so.
  if (!mc.autoStart->Register(RegistrationName(ChooseSaveId(interp, view)), argsText, why))
    Line(interp, view, "Cannot register the start after the next logon: " + why, colour::kRed);
}

constexpr HandlerRow kHandlers[] = {
    {"PCReBoot", kAnyDisk, PCReBoot},
    {"AutoRunOnStartup", kAnyDisk, AutoRunOnStartup},
};

}  // namespace

std::vector<HandlerRow> RegisterRebootCommands(Interpreter& interp) {
  MachineControlOf(interp);  // made before any run
  interp.State<DelayedRestarts>();
  interp.AddRunEndHook([&interp](uint32_t view) { StopDelayedRestart(interp, view, false); });
  interp.AddExitHook([&interp](uint32_t view) { RemoveRestartRegistration(interp, view); });
  return interp.Register({kHandlers});
}

}  // namespace kestrune::app
