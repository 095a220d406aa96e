#include "sim/lab_system_facts.h"

namespace kestrune::sim {

platform::PlatformSummary LabPlatformSummary() {
  platform::PlatformSummary s;
  s.productName = "Windows 10 Pro";
  s.x64 = true;
  s.releaseId = "23H2";
  s.build = "22631";
  s.processorName = "Kestrune Lab CPU @ 3.00GHz";
  s.processors = 8;
  s.memoryBytes = uint64_t{16} << 30;
  s.boardMaker = "Kestrune";
  s.boardProduct = "LAB-B1";
  s.computerName = "KESTRUNE-LAB";
  s.uefi = true;
  return s;
}

platform::HmbPolicyReport LabSystemFacts::HmbPolicy() {
  std::lock_guard lock(mutex_);
  platform::HmbPolicyReport r;
  r.available = true;
  r.value = policy_;
  return r;
}

bool LabSystemFacts::SetHmbPolicy(uint32_t value, std::string&) {
  std::lock_guard lock(mutex_);
  policy_ = value;
  return true;
}

}  // namespace kestrune::sim
