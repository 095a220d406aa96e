// The sector lab with the compare and pattern commands registered, on its raw NVMe drive, and the
// helpers the compare tests share: the lines a statement printed, and edits of a drive's faults.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "disk/sector_lab.h"
#include "workloads/compare_commands.h"
#include "workloads/pattern_commands.h"

namespace kestrune::workloads::compare_testing {

class CompareLab : public disk::testing::SectorLab {
 protected:
  CompareLab() {
    EXPECT_TRUE(RegisterCompareCommands(interp).empty());
    EXPECT_TRUE(RegisterPatternCommands(interp).empty());
    Select(disk::testing::kRawNvme);
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const engine::OutputLine& l : Body()) t.push_back(l.text);
    return t;
  }
  bool Printed(const std::string& text) {
    const auto t = Texts();
    return std::find(t.begin(), t.end(), text) != t.end();
  }
  void Fault(const std::function<void(sim::FaultPlan&)>& edit, const std::string& drive = disk::testing::kRawNvme) {
    sim::FaultPlan plan = Drive(drive)->faults();
    edit(plan);
    Drive(drive)->set_faults(plan);
  }
};

}  // namespace kestrune::workloads::compare_testing
