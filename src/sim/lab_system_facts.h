// The lab's system facts: a fixed test PC (a Windows 10 product name of build 22631, which
// SystemInfo shows as Windows 11; eight processors, 16 GiB, a UEFI board), so that scripts and
// golden tests see the same lines on every machine; and a host memory buffer policy held in
// memory, none set at the start. Thread-safe.
#pragma once

#include <mutex>
#include <optional>

#include "platform/system_facts.h"

namespace kestrune::sim {

platform::PlatformSummary LabPlatformSummary();

class LabSystemFacts final : public platform::SystemFacts {
 public:
  platform::PlatformSummary Summary() override { return LabPlatformSummary(); }
  platform::HmbPolicyReport HmbPolicy() override;
  bool SetHmbPolicy(uint32_t value, std::string& why) override;

 private:
  std::mutex mutex_;  // guards policy_
  std::optional<uint32_t> policy_;
};

}  // namespace kestrune::sim
