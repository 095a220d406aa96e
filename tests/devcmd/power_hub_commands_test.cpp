// The delayed relay power-off on the lab: it counts down on its own line and switches the port,
// and gives up without a word when the view is cancelled or its run has ended first.
#include <gtest/gtest.h>

#include <cstdlib>

#include "devcmd/power_hub_commands.h"
#include "devcmd/power_station.h"
#include "disk/sector_lab.h"
#include "sim/lab_hub.h"

namespace kestrune::devcmd {
namespace {

sim::LabDescription HubLab() {
  sim::LabDescription lab = disk::testing::SectorTestLab();
  lab.drives[0].power.hubPort = 1;
  return lab;
}

class PowerHubCommands : public disk::testing::SectorLab {
 protected:
  PowerHubCommands() : SectorLab(HubLab()) {
    EXPECT_TRUE(RegisterPowerHubCommands(interp).empty());
    hub = std::make_unique<sim::LabPowerHub>(*lab);
    StationConfig config;
    config.hubType = 2;
    config.hubPort = "COM3";
    StationOf(interp).Configure(config, hub.get(), nullptr, true);
    Select(disk::testing::kRawNvme);
  }
  ~PowerHubCommands() override { StationOf(interp).WaitDelayed(); }

  bool Present() { return Drive(disk::testing::kRawNvme)->Present(); }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const engine::OutputLine& l : interp.output(0)->lines) out.push_back(l.text);
    return out;
  }

  std::unique_ptr<sim::LabPowerHub> hub;
};

TEST_F(PowerHubCommands, ADelayedPowerOffSwitchesWhenItsTimeHasCome) {
  interp.view(0).running.store(true);
  Run("RelayPowerOff( DelayRunSec:5, Port:1 );");
  EXPECT_EQ(Code(), 0) << Description();
  StationOf(interp).WaitDelayed();
  EXPECT_FALSE(Present());
  EXPECT_FALSE(hub->PortPowered(1));
  const std::vector<std::string> texts = Texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Relay Power Off"), texts.end());
  EXPECT_GE(host.MonotonicMs(), 5000u);
}

TEST_F(PowerHubCommands, ACancelledOrEndedRunLeavesThePowerOn) {
  for (bool cancelled : {true, false}) {
    interp.view(0).running.store(cancelled);  // cancelled while running, or a run that has ended
    interp.view(0).cancel.store(cancelled);
    Run("RelayPowerOff( DelayRunSec:5, Port:1 );");
    ASSERT_FALSE(Body().empty()) << cancelled;
    EXPECT_EQ(Body().back().text, "Wait 5 Sec for Relay PowerOff...") << "the command ran";
    StationOf(interp).WaitDelayed();
    EXPECT_TRUE(Present()) << cancelled;
    EXPECT_TRUE(hub->PortPowered(1)) << cancelled;
    const std::vector<std::string> texts = Texts();
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "Relay Power Off"), texts.end()) << cancelled;
  }
}

TEST_F(PowerHubCommands, OutOfRangeSecondsAndPortsAreRefusedFirst) {
  for (const char* call : {"RelayPowerOff( DelayRunSec:-1, Port:1 );", "RelayPowerOff( DelayRunSec:65536, Port:1 );",
                           "SSDPowerOn( TimeoutSec:-5, Port:1 );", "SSDPowerOff( DelayRunSec:0, Port:-1 );",
                           "RelayPowerOn( Port:256 );"}) {
    Run(call);
    EXPECT_EQ(Code(), -2) << call;
    EXPECT_TRUE(Present()) << call;
  }
}

TEST_F(PowerHubCommands, RelinkingTheSystemsOwnDevicesIsRefusedInTheTestEnvironment) {
  ::setenv("KESTRUNE_NO_POWER", "1", 1);
  StationConfig config;
  config.hubType = 2;
  config.hubPort = "COM3";
  StationOf(interp).Configure(config, hub.get(), nullptr, false);  // as if the tree were the system's
  lab->requestLog().Clear();
  Run("SSDPowerReLink( TimeoutSec:1, Port:0 );");
  EXPECT_EQ(Code(), -255);
  EXPECT_EQ(Description(), "Error. Power actions are off here (KESTRUNE_NO_POWER or CI)");
  EXPECT_TRUE(Present());
  EXPECT_TRUE(state().disabledParent.empty()) << "no parent was disabled";

  StationOf(interp).Configure(config, hub.get(), nullptr, true);  // the lab powers nothing real
  Run("SSDPowerReLink( TimeoutSec:1, Port:0 );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Present());
}

}  // namespace
}  // namespace kestrune::devcmd
