// An interpreter over a fake device tree holding a small lab: an NVMe disk on the inbox driver with
// C: and D:, a SATA disk on AHCI port 2 without volumes, and a software RAID volume E:.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "disk/disk_commands.h"
#include "disk/disk_state.h"
#include "engine/executor.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "fake_device_tree.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::disk::testing {

inline const std::string kNvmePath = "\\\\.\\PHYSICALDRIVE0";
inline const std::string kSataPath = "\\\\.\\PHYSICALDRIVE1";

inline platform::DeviceSnapshot LabSnapshot() {
  platform::DeviceSnapshot s;
  platform::DiskNode nvme = Node(0, platform::bus::kNvme, "stornvme");
  nvme.friendlyName = "NVMe KX 512";
  nvme.parent.locationInformation = "PCI bus 3, device 0, function 0 (3,0,0)";
  nvme.parent.instanceId = "PCI\\VEN_1E4B&DEV_1202\\4&1";
  nvme.parent.name = "Standard NVM Express Controller";
  nvme.hasScsiAddress = true;
  nvme.scsiPort = 0;
  platform::DiskNode sata = Node(1, platform::bus::kSata, "storahci");
  sata.friendlyName = "ATA KX SATA";
  sata.lengthBytes = 256060514304ULL;
  sata.parent.instanceId = "PCI\\VEN_8086&DEV_A352\\3&1";
  sata.parent.name = "Standard SATA AHCI Controller";
  sata.parent.busAddress = 0x0002001F;
  sata.hasScsiAddress = true;
  sata.scsiPort = 1;
  sata.pathId = 2;
  s.disks = {nvme, sata};

  platform::VolumeNode c{"C:", "\\\\.\\C:", true, 0, false, 300000000000ULL, 100000000000ULL, 1048576, true};
  platform::VolumeNode d{"D:", "\\\\.\\D:", true, 0, false, 536870912ULL, 1000000ULL, 32256, false};
  platform::VolumeNode e{"E:", "\\\\.\\E:", false, 0, true, 2000000000000ULL, 5ULL, 1048576, false};
  s.volumes = {c, d, e};

  s.adapters = {{nvme.parent.instanceId, "Standard NVM Express Controller", {0}},
                {sata.parent.instanceId, "Standard SATA AHCI Controller", {1}}};
  return s;
}

inline void AddLabDisks(FakeDeviceTree& tree) {
  tree.snapshot = LabSnapshot();
  FakeDisk nvme;
  nvme.nvmeIdentify = IdentifyControllerData(0x1E4B, "KX NVMe 512G", "1.2A");
  nvme.nvmeRoute = platform::NvmeRoute::kInbox;
  tree.disks[kNvmePath] = nvme;
  FakeDisk sata;
  sata.ataIdentify = AtaIdentifyData("KX SATA 256G", "S1.0");
  tree.disks[kSataPath] = sata;
}

class DiskFixture : public ::testing::Test {
 protected:
  DiskFixture() : interp(host, ::kestrune::testing::WorkFolderSettings(dir.path()), &console) {
    AddLabDisks(tree);
    DiskState& s = StateOf(interp);
    s.tree = &tree;
    s.portMapFolder = platform::JoinPath(dir.path(), "mpEnv");
    EXPECT_TRUE(RegisterDiskCommands(interp).empty());
    engine::View& v = interp.view(0);
    ::kestrune::testing::ReadyForStatements(v);  // errors are counted, the statements go on
    v.vars.SetText("_ErrorDesc", "");
  }

  DiskState& state() { return StateOf(interp); }

  // Runs one statement as the run thread does, keeping the completion codes it reported.
  void Run(std::string statement) {
    size_t before = interp.output(0)->lines.size();
    reports = ::kestrune::testing::RunStatement(interp, std::move(statement));
    printed = ::kestrune::testing::LinesFrom(interp, before);
  }

  // The texts of the lines the last statement printed.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const engine::OutputLine& l : printed) out.push_back(l.text);
    return out;
  }

  engine::Value Var(std::string_view name) { return interp.view(0).vars.Get(name); }

  ::kestrune::testing::TempDir dir;
  ::kestrune::testing::FakeHost host;
  ::kestrune::testing::CapturedConsole console;
  FakeDeviceTree tree;
  engine::Interpreter interp;
  ::kestrune::testing::PassReports reports;
  std::vector<engine::OutputLine> printed;
};

}  // namespace kestrune::disk::testing
