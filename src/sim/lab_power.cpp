#include "sim/lab_power.h"

#include "platform/host.h"
#include "sim/sim_lab.h"

namespace kestrune::sim {

bool LabPower::Request(platform::PowerAction, std::string&) {
  ++requests_;
  if (lab_) lab_->ShutDown();
  return true;
}

bool LabPower::HardwareRestart(std::string&) {
  ++requests_;
  if (lab_) lab_->PowerCut();
  return true;
}

platform::SleepResult LabPower::SleepAndWake(platform::SleepState state, uint32_t seconds, std::string& why) {
  if (!(state == platform::SleepState::kS4 ? sleep_.s4 : sleep_.s3)) return platform::SleepResult::kNotOffered;
  if (sleep_.fails) {
    why = "the suspend failed";
    return platform::SleepResult::kFailed;
  }
  if (lab_) lab_->ShutDown();  // what a suspend does to the drives' caches before the power drops
  host_.SleepMs(seconds * 1000);
  return platform::SleepResult::kWoke;
}

LabAutoStart::LabAutoStart(const std::string& labFolder, std::string program)
    : folder_(platform::JoinPath(labFolder, "autorun")), program_(std::move(program)) {}

bool LabAutoStart::Register(const std::string& name, const std::string& arguments, std::string& why) {
  return folder_.Write(name, program_, "lab", arguments, why);
}

bool LabAutoStart::Remove(const std::string& name, std::string& why) { return folder_.Remove(name, why); }

bool LabAutoStart::List(std::vector<platform::AutoStartEntry>& entries, std::string& why) {
  return folder_.List(entries, why);
}

}  // namespace kestrune::sim
