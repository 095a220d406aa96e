#include "app/resume_start.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "app/machine_control.h"
#include "app/run_persistence.h"
#include "app/startup.h"
#include "base/crc.h"
#include "base/text.h"
#include "disk/disk_find.h"
#include "disk/disk_state.h"
#include "disk/identify_probe.h"
#include "engine/run_save.h"
#include "engine/view.h"
#include "platform/command_line_split.h"
#include "platform/files.h"
#include "platform/process.h"

namespace kestrune::app {
namespace {

using base::Format;

constexpr const char* kAutorun = "--autorun";
constexpr const char* kAutorunList = "--autorun-list";
constexpr const char* kAutorunClear = "--autorun-clear";

bool ParseFrame(const std::string& frame, uint32_t& id, uint32_t& number) {
  unsigned a = 0, b = 0;
  char tail = 0;
  if (std::sscanf(frame.c_str(), "%u/%u%c", &a, &b, &tail) != 2 || a == 0) return false;
  id = a;
  number = b;
  return true;
}

// Why the save cannot be used for this start, "" when it can.
std::string Mismatch(const engine::ResumeRecord& r, uint32_t frame, const std::string& scriptPath,
                     const std::string& identity) {
  if (r.rebootCount != frame)
    return Format("the save is of another generation (frame %u, the start names frame %u)", r.rebootCount, frame);
  if (r.scriptPath != scriptPath)
    return "the save is of another script (" + r.scriptPath + ", the start names " + scriptPath + ")";
  std::optional<std::vector<uint8_t>> script = platform::ReadWholeFile(scriptPath);
  if (!script) return "cannot read the script " + scriptPath;
  if (script->size() != r.scriptSize || base::Crc32(*script) != r.scriptCrc)
    return "the script " + scriptPath + " has changed since the save";
  if (r.diskIdentity != identity)
    return "the save is of another disk (" + r.diskIdentity + ", the start names " + identity + ")";
  return {};
}

}  // namespace

bool IsAutorunCommand(const std::string& init) {
  return base::EqualsNoCase(init, kAutorun) || base::StartsWithNoCase(init, std::string(kAutorun) + "=") ||
         base::EqualsNoCase(init, kAutorunList) || base::EqualsNoCase(init, kAutorunClear);
}

int RunAutorunCommand(const std::string& init, platform::AutoStart& autoStart, platform::Host& host, Console& console) {
  std::vector<platform::AutoStartEntry> entries;
  std::string why;
  if (!autoStart.List(entries, why)) {
    host.WriteStderr("kestrune: cannot read the registrations: " + why + "\n");
    return base::code::kError;
  }
  if (base::EqualsNoCase(init, kAutorunList)) {
    for (const platform::AutoStartEntry& e : entries) console.Print(e.name + " " + e.arguments + "\n");
    return 0;
  }
  if (base::EqualsNoCase(init, kAutorunClear)) {
    int code = 0;
    for (const platform::AutoStartEntry& e : entries) {
      if (autoStart.Remove(e.name, why)) continue;
      host.WriteStderr("kestrune: cannot remove " + e.name + ": " + why + "\n");
      code = base::code::kError;
    }
    return code;
  }
  std::string only;
  if (init.size() > std::string(kAutorun).size()) only = RegistrationName(static_cast<uint32_t>(std::atoi(init.c_str() + 10)));
  int code = 0;
  bool ran = false;
  for (const platform::AutoStartEntry& e : entries) {
    if (!only.empty() && e.name != only) continue;
    ran = true;
    const std::string program = host.ProgramPath();
    std::string error;
    std::unique_ptr<platform::Process> p = platform::DefaultProcessLauncher().StartCommandLine(
        program, platform::JoinWindowsCommandLine({program}) + " " + e.arguments, "", error);
    if (!p) {
      host.WriteStderr("kestrune: cannot start " + e.name + ": " + error + "\n");
      code = base::code::kError;
      continue;
    }
    code = p->Wait(nullptr).value_or(base::code::kError);
  }
  if (!only.empty() && !ran) {
    host.WriteStderr("kestrune: no registration " + only + "\n");
    return kExitNotFound;
  }
  return code;
}

ResumeCheck PrepareResume(engine::Interpreter& interp, const CommandLine& cl, Console& console, platform::Host& host,
                          int waitSec) {
  MachineControl& mc = MachineControlOf(interp);
  uint32_t saveId = 0, frame = 0;
  if (!ParseFrame(cl.frame, saveId, frame)) {
    host.WriteStderr("kestrune: FRAME:" + cl.frame + " names no save (it is <save id>/<frame>)\n");
    return {std::nullopt, kExitNoScript};
  }
  auto fail = [&](const std::string& why, int code) {
    console.Print("Cannot resume the saved run: " + why + "\n");
    std::string ignored;
    if (mc.autoStart) mc.autoStart->Remove(RegistrationName(saveId), ignored);
    return ResumeCheck{std::nullopt, code};
  };
  std::string why;
  std::optional<engine::LoadedSave> save = engine::LoadRunSave(mc.saveFolder, saveId, why);
  if (!save) return fail(why, base::code::kInvalidData);
  const std::string mismatch = Mismatch(save->record, frame, cl.scriptPath, cl.diskIdentity);
  if (!mismatch.empty()) return fail(mismatch, base::code::kInvalidData);
  if (!cl.diskIdentity.empty()) {
    const uint64_t deadline = host.MonotonicMs() + static_cast<uint64_t>(waitSec) * 1000;
    while (!disk::SelectDiskByIdentity(interp, cl.diskIdentity)) {
      if (host.MonotonicMs() >= deadline)
        return fail(Format("the disk %s did not come back within %d s", cl.diskIdentity.c_str(), waitSec),
                    kExitNotFound);
      host.SleepMs(1000);
    }
    disk::DiskState& disks = disk::StateOf(interp);
    std::optional<disk::DriveIdentity> id = disks.tree ? disk::IdentifyDrive(*disks.tree, disks.current) : std::nullopt;
    const std::string serial = id ? id->serial : std::string();
    if (serial != save->record.diskSerial)
      return fail("the disk is another drive (serial " + serial + ", the save was made on " +
                      save->record.diskSerial + ")",
                  base::code::kInvalidData);
  }
  std::string ignored;
  if (mc.autoStart) mc.autoStart->Remove(RegistrationName(saveId), ignored);
  if (!save->record.outputMirror.empty()) {
    console.OpenMirror(save->record.outputMirror, true);
    mc.outputMirror = save->record.outputMirror;
  }
  return {std::move(save), 0};
}

}  // namespace kestrune::app
