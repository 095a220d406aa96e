// An interpreter over the simulated lab of the block I/O tests with the NVMe commands registered
// and the lab's RAW NVMe drive (\\.\PHYSICALDRIVE0) as the current disk.
#pragma once

#include <string>
#include <vector>

#include "base/bytes.h"
#include "devcmd/nvme_commands.h"
#include "disk/sector_lab.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::devcmd::testing {

class NvmeLab : public disk::testing::SectorLab {
 protected:
  NvmeLab() {
    EXPECT_TRUE(RegisterNvmeCommands(interp).empty());
    interp.view(0).logFolder = dir.path();
    Select(disk::testing::kRawNvme);
  }

  engine::Value Var(std::string_view name) { return interp.view(0).vars.Get(name); }
  bool HasVar(std::string_view name) { return interp.view(0).vars.Find(name) != nullptr; }

  std::vector<std::string> BodyTexts() const {
    std::vector<std::string> out;
    for (const engine::OutputLine& l : Body()) out.push_back(l.text);
    return out;
  }

  // The NVMe submission entries the lab received since the last clear.
  std::vector<std::vector<uint8_t>> AdminEntries() {
    std::vector<std::vector<uint8_t>> out;
    for (const sim::RequestRecord& r : lab->requestLog().Records())
      if (r.operation == "NvmeAdmin") out.push_back(r.command);
    return out;
  }
  static uint32_t Dword(const std::vector<uint8_t>& entry, size_t index) {
    return base::GetLe32(entry.data() + 4 * index);
  }

  // The run goes on after the statement: nothing set _ErrorCheck to stop or end it.
  int64_t ErrorCheck() { return Var("_ErrorCheck").number; }
};

}  // namespace kestrune::devcmd::testing
