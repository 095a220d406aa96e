// The power hub commands' exchange (devcmd/hub_session) against the lab's hub and relay boards:
// every hub type switches the lab drives its frames name, the status comes back, and the hub's
// faults and the station's missing pieces give their failures.
#include <gtest/gtest.h>

#include <fstream>

#include "base/completion_codes.h"
#include "devcmd/hub_session.h"
#include "platform/object_names.h"
#include "sim/lab_hub.h"
#include "sim/sim_lab.h"
#include "support/fake_host.h"

namespace kestrune::sim {
namespace {

namespace code = base::code;
using devcmd::HubOutcome;

constexpr const char* kDrives =
    "[A]\nAttachment=nvme-inbox\nCapacity=8MiB\nHubPort=1\n"
    "[B]\nAttachment=nvme-inbox\nCapacity=8MiB\nHubPort=2\n"
    "[R]\nAttachment=nvme-inbox\nCapacity=8MiB\nRelayBoard=QAAMZ\n";

class PowerHubLab : public ::testing::Test {
 protected:
  void Make(const std::string& text, std::optional<int> type, std::string port = "COM3") {
    const std::string ini = dir.path() + "/lab.ini";
    std::ofstream(ini) << text;
    std::string error;
    lab = SimLab::CreateFromFile(ini, dir.path() + "/simlab", host, error);
    ASSERT_NE(lab, nullptr) << error;
    hub = std::make_unique<LabPowerHub>(*lab);
    relays = platform::CreateHidRelayLibrary(hub->RelayBus());
    devcmd::StationConfig config;
    config.path = "Station.ini";
    config.hubType = type;
    config.hubPort = std::move(port);
    station.Configure(config, hub.get(), relays.get(), true);
  }
  bool Present(const char* name) { return lab->Drive(name)->Present(); }
  HubOutcome Switch(uint32_t port, bool on) { return devcmd::SwitchHub(station, host, port, on); }
  HubOutcome Query(uint32_t port) { return devcmd::QueryHub(station, host, port); }

  testing::FakeHost host;
  testing::TempDir dir;
  std::unique_ptr<SimLab> lab;
  std::unique_ptr<LabPowerHub> hub;
  std::unique_ptr<platform::RelayLibrary> relays;
  devcmd::PowerStation station;
};

TEST_F(PowerHubLab, EveryHubTypeSwitchesTheDrivesItsFramesName) {
  const struct {
    int type;
    uint32_t port;
    bool aOff, bOff;  // which drives the off takes away
    bool status;      // whether the type reads a state
  } rows[] = {
      {2, 1, true, false, true}, {2, 2, false, true, true}, {2, 0, true, true, false},
      {3, 2, false, true, false}, {3, 0, true, true, false},
      {5, 2, true, false, false},  // one relay: always port 1
      {0, 2, true, false, true},   // one adapter: always port 1
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(::testing::Message() << "type " << r.type << " port " << r.port);
    Make(kDrives, r.type);
    ASSERT_TRUE(Switch(r.port, false).ok());
    EXPECT_EQ(Present("A"), !r.aOff);
    EXPECT_EQ(Present("B"), !r.bOff);
    EXPECT_TRUE(Present("R"));
    if (r.status) {
      HubOutcome s = Query(r.port == 0 ? 1 : r.port);
      ASSERT_TRUE(s.ok()) << s.detail;
      EXPECT_EQ(s.status, 0u);
    }
    ASSERT_TRUE(Switch(r.port, true).ok());
    EXPECT_TRUE(Present("A"));
    EXPECT_TRUE(Present("B"));
    if (r.status) EXPECT_EQ(Query(r.port == 0 ? 1 : r.port).status, 1u);
  }
}

TEST_F(PowerHubLab, PowerOffDropsTheDrivesUnflushedWrites) {
  Make(kDrives, 2);
  const std::vector<uint8_t> data(512, 0x5A);
  {
    auto d = lab->Open("\\\\.\\PHYSICALDRIVE0", platform::OpenAccess::kReadWrite);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->Write(0, data, false));
  }
  ASSERT_TRUE(Switch(1, false).ok());
  ASSERT_TRUE(Switch(1, true).ok());
  auto d = lab->Open("\\\\.\\PHYSICALDRIVE0", platform::OpenAccess::kRead);
  ASSERT_NE(d, nullptr);
  std::vector<uint8_t> back(512, 0xFF);
  ASSERT_TRUE(d->Read(0, back).has_value());
  EXPECT_EQ(back, std::vector<uint8_t>(512, 0));
}

TEST_F(PowerHubLab, HubFaultsFail) {
  const struct {
    const char* fault;
    int type;
    bool status;  // query (else switch port 1 off)
    int32_t code;
    const char* detail;
  } rows[] = {
      {"noreply", 2, true, code::kPowerHubError, "the power hub does not answer"},
      {"noreply", 3, false, code::kPowerHubError, "the power hub does not answer"},
      {"noreply", 0, true, code::kPowerHubError, "the power hub does not answer"},
      {"badreply", 2, true, code::kPowerHubError, "the power hub's answer is not sound"},
      {"badreply", 3, false, code::kPowerHubError, "the power hub's answer is not sound"},
      {"busy", 2, false, code::kPowerHubError, ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.fault << " type " << r.type);
    Make(std::string(kDrives) + "HubFault=" + r.fault + "\n", r.type);
    const HubOutcome o = r.status ? Query(1) : Switch(1, false);
    EXPECT_EQ(o.code, r.code);
    EXPECT_EQ(o.detail, r.detail);
  }
}

TEST_F(PowerHubLab, ADriveThatDoesNotComeBack) {
  Make("[A]\nAttachment=nvme-inbox\nCapacity=8MiB\nHubPort=1\nHubFault=notback\n", 2);
  ASSERT_TRUE(Switch(1, false).ok());
  ASSERT_TRUE(Switch(1, true).ok());
  EXPECT_FALSE(Present("A"));
  EXPECT_EQ(Query(1).status, 1u) << "the port has power; the drive stays away";
}

TEST_F(PowerHubLab, WhatTheStationLacksFailsBeforeTheHubIsTouched) {
  const struct {
    std::optional<int> type;
    std::string port;
    uint32_t hubPort;
    int32_t code;
    std::string detail;
  } rows[] = {
      {std::nullopt, "COM3", 1, code::kPowerHubError, "the station file Station.ini has no [PowerHub] Type"},
      {1, "COM3", 1, code::kPowerHubError, "[PowerHub] Type 1 of the station file is not a hub type (0, 2, 3, 4, 5)"},
      {6, "COM3", 1, code::kPowerHubError, "[PowerHub] Type 6 of the station file is not a hub type (0, 2, 3, 4, 5)"},
      {2, "", 1, code::kPowerHubError, ""},
      {3, "COM3", 7, code::kBadParameter, "(Port 7 out of range)"},
      {2, "COM3", 256, code::kBadParameter, "(Port 256 out of range)"},
  };
  for (const auto& r : rows) {
    Make(kDrives, r.type, r.port);
    const size_t locks = host.LockLog().size();
    const HubOutcome o = Switch(r.hubPort, false);
    EXPECT_EQ(o.code, r.code) << r.detail;
    EXPECT_EQ(o.detail, r.detail);
    EXPECT_EQ(host.LockLog().size(), locks) << "no lock taken";
    EXPECT_TRUE(Present("A"));
  }
}

TEST_F(PowerHubLab, TheHubLockIsPerPortAndABusyLockFails) {
  Make(kDrives, 2, "com4");
  ASSERT_TRUE(Switch(1, true).ok());
  EXPECT_EQ(host.LockLog().back(), platform::SharedObjectName("PowerHub_COM4"));
  host.failNamedLocks = true;
  const HubOutcome o = Switch(1, false);
  EXPECT_EQ(o.code, code::kPowerHubError);
  EXPECT_EQ(o.detail, "the power hub com4 stays busy");
  EXPECT_TRUE(Present("A"));
}

TEST_F(PowerHubLab, TheUsbRelayBoardSwitchesItsChannel) {
  Make(kDrives, 4, "QAAMZ");
  EXPECT_EQ(relays->Serials(), std::vector<std::string>{"QAAMZ"});
  EXPECT_EQ(Query(1).status, 1u);
  ASSERT_TRUE(Switch(0, false).ok());
  EXPECT_FALSE(Present("R"));
  EXPECT_TRUE(Present("A"));
  EXPECT_EQ(hub->RelayMask("QAAMZ"), 1u);
  EXPECT_EQ(Query(1).status, 0u);
  ASSERT_TRUE(Switch(0, true).ok());
  EXPECT_TRUE(Present("R"));
  EXPECT_EQ(Query(1).status, 1u);

  station.set_portName("NOONE");
  EXPECT_EQ(Switch(0, false).code, code::kPowerHubError);
}

TEST_F(PowerHubLab, NoRelayBoardWithoutADriveThatNamesOne) {
  Make("[A]\nAttachment=nvme-inbox\nCapacity=8MiB\nHubPort=1\n", 4, "QAAMZ");
  EXPECT_TRUE(relays->Serials().empty());
  EXPECT_EQ(Switch(0, false).code, code::kPowerHubError);
}

}  // namespace
}  // namespace kestrune::sim
