#include "app/run_persistence.h"

#include <vector>

#include "app/machine_control.h"
#include "base/completion_codes.h"
#include "base/crc.h"
#include "base/bytes.h"
#include "base/text.h"
#include "disk/disk_state.h"
#include "disk/identify_probe.h"
#include "engine/barrier_commands.h"
#include "engine/run_save.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::app {
namespace {

using base::Format;

constexpr uint32_t kSaveIds = 100000;

std::string CurrentIdentity(engine::Interpreter& interp) {
  disk::DiskState& disks = disk::StateOf(interp);
  return disks.hasCurrent ? disk::IdentityText(disks.current) : std::string();
}

std::string CurrentSerial(engine::Interpreter& interp) {
  disk::DiskState& disks = disk::StateOf(interp);
  if (!disks.hasCurrent || !disks.tree) return {};
  std::optional<disk::DriveIdentity> id = disk::IdentifyDrive(*disks.tree, disks.current);
  return id ? id->serial : std::string();
}

// The DRVHW text a registration's argument line names, "" when none.
std::string IdentityOf(const std::string& arguments) {
  const size_t at = arguments.find("DRVHW:\"");
  if (at == std::string::npos) return {};
  const size_t end = arguments.find('"', at + 7);
  return end == std::string::npos ? std::string() : arguments.substr(at + 7, end - at - 7);
}

}  // namespace

bool PowerUsable(engine::Interpreter& interp, uint32_t view) {
  MachineControl& mc = MachineControlOf(interp);
  if (!mc.power) {
    interp.ReportCompletion(view, base::code::kNotSupported, "this build has no power control");
    return false;
  }
  if (!mc.power->Simulated() && platform::RealPowerActionsRefused()) {
    interp.ReportCompletion(view, base::code::kError, platform::kPowerActionsRefused);
    return false;
  }
  return true;
}

std::string RegistrationName(uint32_t saveId) { return Format("AutoRunOnStartup_%u", saveId); }

uint32_t ChooseSaveId(engine::Interpreter& interp, uint32_t view) {
  engine::View& v = interp.view(view);
  if (v.saveId != 0) return v.saveId;
  const std::string identity = CurrentIdentity(interp);
  const std::string& key = identity.empty() ? v.scriptPath : identity;
  uint32_t id = base::Crc32(base::TextBytes(key)) % kSaveIds;
  std::vector<platform::AutoStartEntry> live;
  std::string why;
  MachineControl& mc = MachineControlOf(interp);
  if (mc.autoStart) mc.autoStart->List(live, why);
  // 0 stands for "no save id yet"; a number another disk's registration holds is taken.
  for (uint32_t tries = 0; tries < kSaveIds; ++tries, id = (id + 1) % kSaveIds) {
    if (id == 0) continue;
    bool taken = false;
    for (const platform::AutoStartEntry& e : live)
      taken |= e.name == RegistrationName(id) && IdentityOf(e.arguments) != identity;
    if (!taken) break;
  }
  return id;
}

std::string RestartArguments(const std::string& scriptPath, const std::string& identity, uint32_t saveId,
                             uint32_t frame, uint32_t rebootSync, int errStop, const std::string& diskArguments) {
  std::string args = Format("SCRIPT:\"%s\", DRVHW:\"%s\", FRAME:%u/%u, REBOOTSYNC:%u, ERRSTOP:%d", scriptPath.c_str(),
                            identity.c_str(), saveId, frame, rebootSync, errStop);
  if (!diskArguments.empty()) args += " " + diskArguments;
  return args;
}

bool SaveRunForRestart(engine::Interpreter& interp, uint32_t view, std::string& why) {
  MachineControl& mc = MachineControlOf(interp);
  engine::View& v = interp.view(view);
  if (!mc.autoStart) {
    why = "this build cannot register a start after the restart";
    return false;
  }
  if (v.scriptPath.find('"') != std::string::npos) {
    why = "the script path holds a double quote: " + v.scriptPath;
    return false;
  }
  std::optional<std::vector<uint8_t>> script = platform::ReadWholeFile(v.scriptPath);
  if (!script) {
    why = "cannot read the script " + v.scriptPath;
    return false;
  }
  const uint32_t saveId = ChooseSaveId(interp, view);
  engine::ResumeRecord r;
  r.saveId = saveId;
  r.rebootCount = v.rebootCount + 1;
  r.scriptPath = v.scriptPath;
  r.scriptCrc = base::Crc32(*script);
  r.scriptSize = script->size();
  r.resumeOffset = v.statementEnd;
  r.loopLevel = v.loopLevel;
  r.breakLevel = v.breakLevel;
  r.scriptFolder = v.scriptFolder;
  r.logFolder = v.logFolder;
  r.baseLogFolder = v.baseLogFolder;
  r.logDataPath = v.logDataPath;
  r.uploadFolder = v.uploadFolder;
  r.outputMirror = mc.outputMirror;
  {
    std::lock_guard<std::mutex> guard(v.output.lock);
    r.lineCounter = v.output.lineCounter;
  }
  r.elapsedMs = interp.host().MonotonicMs() - v.runStartMs;
  r.diskIdentity = CurrentIdentity(interp);
  r.diskSerial = CurrentSerial(interp);
  r.lastCode = v.lastCode;
  r.lastDescription = v.lastDescription;
  std::optional<engine::SaveImage> image = engine::BuildRunSave(v, r, why);
  if (!image) return false;
  if (!engine::WriteRunSave(mc.saveFolder, saveId, *image, why)) {
    engine::RemoveRunSave(mc.saveFolder, saveId);
    return false;
  }
  const uint32_t participants = engine::BarrierParticipantCount(interp, view);
  const std::string args = RestartArguments(v.scriptPath, r.diskIdentity, saveId, r.rebootCount,
                                            participants == 0 ? 1 : participants, mc.errStop, mc.diskArguments);
  if (!mc.autoStart->Register(RegistrationName(saveId), args, why)) {
    engine::RemoveRunSave(mc.saveFolder, saveId);
    return false;
  }
  v.saveId = saveId;
  v.rebootCount = r.rebootCount;
  return true;
}

void DropRestartSave(engine::Interpreter& interp, uint32_t saveId) {
  MachineControl& mc = MachineControlOf(interp);
  std::string why;
  if (mc.autoStart) mc.autoStart->Remove(RegistrationName(saveId), why);
  engine::RemoveRunSave(mc.saveFolder, saveId);
}

void RemoveRestartRegistration(engine::Interpreter& interp, uint32_t view) {
  MachineControl& mc = MachineControlOf(interp);
  if (!mc.autoStart) return;
  std::string why;
  const uint32_t saveId = interp.view(view).saveId != 0 ? interp.view(view).saveId : ChooseSaveId(interp, view);
  mc.autoStart->Remove(RegistrationName(saveId), why);
  mc.autoStart->Remove(kLegacyRegistration, why);
}

}  // namespace kestrune::app
