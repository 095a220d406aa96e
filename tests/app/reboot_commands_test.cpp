// PCReBoot and AutoRunOnStartup over a fake machine: what is saved and registered, and that no
// failure ever restarts the machine without its save, or leaves a registration behind.
#include "app/reboot_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>

#include "app/machine_control.h"
#include "base/bytes.h"
#include "base/crc.h"
#include "devcmd/power_station.h"
#include "engine/run_save.h"
#include "engine/script_run_fixture.h"
#include "platform/auto_start.h"
#include "platform/power.h"
#include "sim/lab_acpi.h"
#include "sim/lab_power.h"

namespace kestrune::app {
namespace {

class FakePower final : public platform::Power {
 public:
  bool Request(platform::PowerAction action, std::string& why) override {
    ++requests;
    last = action;
    if (!fail) return true;
    why = "refused by the fake";
    return false;
  }
  bool HardwareRestart(std::string& why) override { return Request(platform::PowerAction::kRestart, why); }
  // A sleep passes on clock (when set) and the wake comes lateMs after its timer; sleepResult
  // other than kWoke: the suspend fails or the state is missing.
  platform::SleepResult SleepAndWake(platform::SleepState, uint32_t seconds, std::string& why) override {
    if (sleepResult != platform::SleepResult::kWoke) return (why = "the fake's suspend fails", sleepResult);
    if (clock) clock->SleepMs(seconds * 1000 + lateMs);
    return platform::SleepResult::kWoke;
  }
  platform::Host* clock = nullptr;
  uint32_t lateMs = 0;
  platform::SleepResult sleepResult = platform::SleepResult::kWoke;
  bool Simulated() const override { return simulated; }
  int requests = 0;
  platform::PowerAction last = platform::PowerAction::kRestart;
  bool fail = false;
  bool simulated = true;
};

// The lab's sleep on the test's virtual clock, with two gates that order the run thread and the
// cycling: the run's second power command waits until the first sleep has begun, and the first
// sleep lasts until the second sleep (a one shot of the run thread after the second command) has
// begun.
class SteppedLabPower final : public platform::Power {
 public:
  SteppedLabPower(platform::Host& host, sim::LabSleep sleep) : lab_(nullptr, host, sleep) {}
  bool Request(platform::PowerAction action, std::string& why) override { return lab_.Request(action, why); }
  bool HardwareRestart(std::string& why) override { return lab_.HardwareRestart(why); }
  bool Simulated() const override {  // asked by every power command before it acts
    std::unique_lock<std::mutex> lock(lock_);
    if (++asked_ == 2) changed_.wait_for(lock, std::chrono::seconds(20), [this] { return sleeps_ >= 1; });
    return true;
  }
  platform::SleepResult SleepAndWake(platform::SleepState state, uint32_t seconds, std::string& why) override {
    {
      std::unique_lock<std::mutex> lock(lock_);
      ++sleeps_;
      changed_.notify_all();
      if (sleeps_ == 1) changed_.wait_for(lock, std::chrono::seconds(20), [this] { return sleeps_ >= 2; });
    }
    return lab_.SleepAndWake(state, seconds, why);
  }

 private:
  sim::LabPower lab_;
  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  mutable int asked_ = 0;
  int sleeps_ = 0;
};

class FakeAutoStart final : public platform::AutoStart {
 public:
  bool Register(const std::string& name, const std::string& arguments, std::string& why) override {
    if (fail) return (why = "no scheduler", false);
    entries[name] = arguments;
    return true;
  }
  bool Remove(const std::string& name, std::string&) override {
    entries.erase(name);
    return true;
  }
  bool List(std::vector<platform::AutoStartEntry>& out, std::string&) override {
    out.clear();
    for (const auto& [name, args] : entries) out.push_back({name, args});
    return true;
  }
  std::map<std::string, std::string> entries;
  bool fail = false;
};

// The LAN power-cycle server: it refuses connections, takes them and stays silent, or answers.
class FakeTcp final : public platform::TcpClient {
 public:
  enum class Mode { kUnreachable, kSilent, kAnswers } mode = Mode::kAnswers;
  std::unique_ptr<platform::TcpConnection> Connect(const std::string& host, uint32_t port, uint32_t,
                                                   std::string& why) override {
    ++connects;
    target = host + ":" + std::to_string(port);
    if (mode == Mode::kUnreachable) return (why = host + ": refused", nullptr);
    return std::make_unique<Connection>(*this);
  }
  int connects = 0;
  std::string target;
  std::vector<std::vector<uint8_t>> sent;

 private:
  class Connection final : public platform::TcpConnection {
   public:
    explicit Connection(FakeTcp& server) : server_(server) {}
    bool Send(std::span<const uint8_t> data, uint32_t) override {
      server_.sent.emplace_back(data.begin(), data.end());
      return true;
    }
    int Receive(std::span<uint8_t> out, uint32_t) override {
      if (server_.mode != Mode::kAnswers) return 0;
      out[0] = 'K';
      return 1;
    }
    std::optional<platform::MacAddress> LocalMac() override {
      return platform::MacAddress{0x00, 0x1B, 0x21, 0xAA, 0xBB, 0xCC};
    }

   private:
    FakeTcp& server_;
  };
};

class RebootCommands : public engine::ScriptRunFixture<> {
 protected:
  const std::vector<std::string>& RunWith(const std::string& script) {
    interp.reset();
    console.lines.clear();
    interp.emplace(host, settings, &console);
    EXPECT_TRUE(RegisterRebootCommands(*interp).empty());
    EXPECT_TRUE(RegisterSleepCommands(*interp).empty());
    MachineControl& mc = MachineControlOf(*interp);
    mc.power = powerSeam;
    mc.autoStart = &autoStart;
    mc.tcp = &tcp;
    mc.acpi = acpi;
    mc.ports = ports.get();
    mc.saveFolder = work;
    devcmd::StationConfig station;
    station.lanServer = lanServer;
    devcmd::StationOf(*interp).Configure(station, nullptr, nullptr, true);
    const std::string path = platform::JoinPath(scripts, "test.scpt");
    Write(path, script);
    interp->RunScript(0, path);
    return console.lines;
  }
  bool Saved() {
    for (const std::string& f : platform::ListFiles(work))
      if (f.find("_Resume.sct") != std::string::npos) return true;
    return false;
  }
  bool Printed(const std::string& text) {
    for (const std::string& l : console.lines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  FakePower power;
  platform::Power* powerSeam = &power;
  sim::LabAcpiTables labTables;
  platform::AcpiTables* acpi = &labTables;
  std::unique_ptr<sim::LabPortIo> ports = std::make_unique<sim::LabPortIo>(nullptr);
  FakeAutoStart autoStart;
  FakeTcp tcp;
  std::string lanServer = "power-server";
};

TEST_F(RebootCommands, ARestartSavesRegistersAndEndsTheRun) {
  RunWith("a = 7;\r\nPCReBoot( DelayRunSec:0, PowerAction:1 );\r\nPrint( Output:\"after\" );\r\n");
  EXPECT_EQ(power.requests, 1);
  EXPECT_TRUE(interp->view(0).restartRequested.load());
  EXPECT_FALSE(Printed("after"));
  ASSERT_EQ(autoStart.entries.size(), 1u);
  const auto& [name, args] = *autoStart.entries.begin();
  EXPECT_EQ(name.rfind("AutoRunOnStartup_", 0), 0u);
  EXPECT_NE(args.find("/1, REBOOTSYNC:1, ERRSTOP:0"), std::string::npos) << args;
  std::string why;
  std::optional<engine::LoadedSave> save = engine::LoadRunSave(work, interp->view(0).saveId, why);
  ASSERT_TRUE(save) << why;
  EXPECT_EQ(save->record.rebootCount, 1u);
}

// Each failure: nothing restarts without its save, and nothing stays registered.
TEST_F(RebootCommands, FailuresNeverRestartWithoutTheSaveNorLeaveARegistration) {
  struct Case {
    const char* what;
    std::string call;
    bool registrationFails, requestFails, real;
    int requests;
    int32_t code;
  } cases[] = {
      {"the registration fails", "PCReBoot( DelayRunSec:0, PowerAction:1 );", true, false, false, 0, -255},
      {"the restart fails", "PCReBoot( DelayRunSec:0, PowerAction:1 );", false, true, false, 1, -255},
      {"real power is refused here", "PCReBoot( DelayRunSec:0, PowerAction:1 );", false, false, true, 0, -255},
      {"a negative delay", "PCReBoot( DelayRunSec:-1, PowerAction:1 );", false, false, false, 0, -2},
      {"an unknown action", "PCReBoot( DelayRunSec:0, PowerAction:3 );", false, false, false, 0, -2},
  };
  setenv("KESTRUNE_NO_POWER", "1", 1);
  for (const Case& c : cases) {
    power = FakePower();
    power.fail = c.requestFails;
    power.simulated = !c.real;
    autoStart = FakeAutoStart();
    autoStart.fail = c.registrationFails;
    for (const std::string& f : platform::ListFiles(work)) platform::RemoveFile(platform::JoinPath(work, f));
    RunWith(c.call + "\r\nPrint( Output:\"went on\" );\r\n");
    EXPECT_EQ(power.requests, c.requests) << c.what;
    EXPECT_EQ(LastCode(), c.code) << c.what;
    EXPECT_TRUE(autoStart.entries.empty()) << c.what;
    EXPECT_FALSE(Saved()) << c.what;
    EXPECT_FALSE(interp->view(0).restartRequested.load()) << c.what;
  }
}

// PowerAction 2 asks the LAN server first: only a server that answers lets the PC switch off (after
// the save); otherwise -80 and nothing else happens, with or without a delay.
TEST_F(RebootCommands, ThePowerCycleServerIsAskedBeforeThePcSwitchesOff) {
  struct Case {
    const char* what;
    FakeTcp::Mode mode;
    std::string server;
    int64_t delay;
    int connects, requests;
  } cases[] = {
      {"the server answers", FakeTcp::Mode::kAnswers, "power-server", 0, 1, 1},
      {"the server answers after the delay", FakeTcp::Mode::kAnswers, "power-server", 1, 1, 1},
      {"the server is not reached", FakeTcp::Mode::kUnreachable, "power-server", 0, 5, 0},
      {"the server never answers", FakeTcp::Mode::kSilent, "power-server", 0, 5, 0},
      {"the delayed ask is not reached", FakeTcp::Mode::kUnreachable, "power-server", 1, 5, 0},
      {"no server in the station file", FakeTcp::Mode::kAnswers, "", 0, 0, 0},
  };
  host.WarpClock(100);  // the delayed ask runs beside a Delay of 20 s, 200 ms here
  for (const Case& c : cases) {
    power = FakePower();
    autoStart = FakeAutoStart();
    tcp = FakeTcp();
    tcp.mode = c.mode;
    lanServer = c.server;
    for (const std::string& f : platform::ListFiles(work)) platform::RemoveFile(platform::JoinPath(work, f));
    RunWith("PCReBoot( DelayRunSec:" + std::to_string(c.delay) + ", PowerAction:2 );\r\nDelay( 20000 );\r\n");
    EXPECT_EQ(tcp.connects, c.connects) << c.what;
    EXPECT_EQ(power.requests, c.requests) << c.what;
    const bool off = c.requests == 1;
    EXPECT_EQ(interp->view(0).restartRequested.load(), off) << c.what;
    EXPECT_EQ(Saved(), off) << c.what;
    EXPECT_EQ(autoStart.entries.size(), off ? 1u : 0u) << c.what;
    if (off) {
      EXPECT_EQ(power.last, platform::PowerAction::kPowerOff) << c.what;
    } else {
      EXPECT_EQ(LastCode(), -80) << c.what;
    }
  }
  ASSERT_EQ(tcp.sent.size(), 0u);  // the last case sent nothing
  tcp = FakeTcp();
  lanServer = "power-server";
  RunWith("PCReBoot( DelayRunSec:0, PowerAction:2, SPOR:FALSE, BootContinue:FALSE );\r\n");
  EXPECT_EQ(tcp.target, "power-server:1224");
  ASSERT_EQ(tcp.sent.size(), 1u);
  const std::vector<uint8_t>& m = tcp.sent[0];
  ASSERT_EQ(m.size(), 1020u);
  EXPECT_EQ(std::vector<uint8_t>(m.begin(), m.begin() + 14),
            (std::vector<uint8_t>{0x03, 0xFA, 0, 0, 0x60, 0xEA, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(std::vector<uint8_t>(m.begin() + 14 + 6 * i, m.begin() + 20 + 6 * i),
              (std::vector<uint8_t>{0x00, 0x1B, 0x21, 0xAA, 0xBB, 0xCC}));
  EXPECT_TRUE(std::all_of(m.begin() + 110, m.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_FALSE(Saved());  // BootContinue:FALSE switches off without a save
}

// A switch-off with SPOR cuts the power through the ACPI registers (not the reset register, not
// the operating system), saves nothing, and ends the run; without the tables nothing is written.
TEST_F(RebootCommands, ASporSwitchOffCutsThePowerThroughTheAcpiRegisters) {
  class NoTables final : public platform::AcpiTables {
   public:
    bool Read(std::string_view, std::vector<uint8_t>&, std::string& why) override { return (why = "none", false); }
  } noTables;
  struct Case {
    const char* what;
    std::string call;
    platform::AcpiTables* tables;
    bool off;
    int32_t code;
  } cases[] = {
      {"PowerAction 0", "PCReBoot( DelayRunSec:0, PowerAction:0, SPOR:TRUE );", &labTables, true, 0},
      {"PowerAction 2 after the LAN server", "PCReBoot( DelayRunSec:0, PowerAction:2, SPOR:TRUE, BootContinue:FALSE );",
       &labTables, true, 0},
      {"the tables cannot be read", "PCReBoot( DelayRunSec:0, PowerAction:0, SPOR:TRUE );", &noTables, false, -255},
      {"no ACPI access in this build", "PCReBoot( DelayRunSec:0, PowerAction:0, SPOR:TRUE );", nullptr, false, -79},
  };
  for (const Case& c : cases) {
    power = FakePower();
    autoStart = FakeAutoStart();
    ports = std::make_unique<sim::LabPortIo>(nullptr);
    acpi = c.tables;
    RunWith(c.call + "\r\n");
    EXPECT_EQ(ports->poweredOff(), c.off) << c.what;
    EXPECT_EQ(power.requests, 0) << c.what;
    EXPECT_EQ(interp->view(0).restartRequested.load(), c.off) << c.what;
    EXPECT_FALSE(Saved()) << c.what;
    if (!c.off) {
      EXPECT_EQ(LastCode(), c.code) << c.what;
    }
  }
}

TEST_F(RebootCommands, AutoRunOnStartupRegistersAfterItsCountdownAndExitRemovesIt) {
  RunWith("AutoRunOnStartup();\r\n");
  ASSERT_EQ(autoStart.entries.size(), 1u);
  EXPECT_NE(autoStart.entries.begin()->second.find("AUTOCLOSE:0"), std::string::npos);
  EXPECT_TRUE(Printed("Current script will Auto-Run on next time Windows Startup"));
  autoStart.entries["AutoRunOnStartup"] = "left by another instance";
  RunWith("AutoRunOnStartup();\r\nExit( ErrCode:0 );\r\n");
  EXPECT_TRUE(autoStart.entries.empty());
}

// Without a disk the save id is the CRC-32 of the script path modulo 100,000, the same on every
// run; a registration of that number for another disk makes the run take the next number and
// leaves the other one alone.
TEST_F(RebootCommands, TheSaveIdIsStableAndAClashTakesTheNextNumber) {
  const std::string restart = "PCReBoot( DelayRunSec:0, PowerAction:1 );\r\n";
  const uint32_t id = base::Crc32(base::TextBytes(platform::JoinPath(scripts, "test.scpt"))) % 100000;
  ASSERT_NE(id, 0u);
  const std::string mine = "AutoRunOnStartup_" + std::to_string(id);
  const std::string next = "AutoRunOnStartup_" + std::to_string((id + 1) % 100000);
  RunWith(restart);
  EXPECT_EQ(interp->view(0).saveId, id);
  ASSERT_EQ(autoStart.entries.count(mine), 1u);
  RunWith(restart);  // its own registration is no clash
  EXPECT_EQ(interp->view(0).saveId, id);
  autoStart.entries.clear();
  const std::string other = "SCRIPT:\"x.scpt\", DRVHW:\"17-0-9-0-1-10\", FRAME:" + std::to_string(id) + "/1";
  autoStart.entries[mine] = other;
  RunWith(restart);
  EXPECT_EQ(interp->view(0).saveId, (id + 1) % 100000);
  EXPECT_EQ(autoStart.entries[mine], other);
  EXPECT_EQ(autoStart.entries.count(next), 1u);
}

// A wake more than 10 s after its timer is said to be late; a suspend that fails or a state the
// machine lacks is an error on the run and no wake-up line, in a cycle and in one shot.
TEST_F(RebootCommands, ALateWakeIsToldAndAFailedSuspendHasNoWakeUp) {
  using platform::SleepResult;
  const std::string cycle =
      "PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:5, PowerIntervalSec:1, DelayRunSec:0, LimitTimeSec:0, "
      "LimitCycle:1, StopByJobEnd:FALSE );\r\n";
  const std::string once = "OneShot_S3S4( PowerState:\"S4\", PowerSleepSec:5 );\r\n";
  struct Case {
    const char* what;
    const std::string& script;
    uint32_t lateMs;
    SleepResult result;
    const char* shown;
    const char* absent;
  } cases[] = {
      {"on time", cycle, 0, SleepResult::kWoke, "[PowerState] Weakup from S3, Cycle:1", "Wake late"},
      {"10 s late is not late yet", cycle, 10000, SleepResult::kWoke, "[PowerState] Stop by Cycle Limit", "Wake late"},
      {"12 s late", cycle, 12000, SleepResult::kWoke, "[PowerState] Wake late by 12 sec", "Error Count"},
      {"one shot 75 s late", once, 75000, SleepResult::kWoke, "[PowerState] Wake late by 75 sec", "Error Count"},
      {"a failed suspend", cycle, 0, SleepResult::kFailed, "the suspend to S3 failed: the fake's suspend fails",
       "Weakup"},
      {"a failed one shot", once, 0, SleepResult::kFailed, "the suspend to S4 failed: the fake's suspend fails",
       "Weakup"},
      {"no S3 here", cycle, 0, SleepResult::kNotOffered, "this machine has no S3", "Weakup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    power.clock = &host;
    power.lateMs = c.lateMs;
    power.sleepResult = c.result;
    RunWith("SetErrorSkip( SkipCount:1 );\r\n" + c.script);
    EXPECT_TRUE(Printed(c.shown));
    EXPECT_FALSE(Printed(c.absent));
    EXPECT_EQ(power.requests, 0) << "a sleep is no restart";
  }
}

// A second PowerState_S3S4 while the first sleeps its last cycle: its whole record (state, sleep
// time, cycle limit) takes effect at the next cycle, which the first one's limit no longer stops;
// the cycle count goes on. A state the lab machine lacks ends the
// cycling with -79 and no wake-up line. The first sleep lasts until the run thread's one shot, so
// it also holds that one's second before it suspends.
TEST_F(RebootCommands, ASecondPowerStateTakesEffectAtTheNextCycle) {
  const std::string script =
      "PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:5, PowerIntervalSec:1, DelayRunSec:0, LimitTimeSec:0, "
      "LimitCycle:1, StopByJobEnd:FALSE );\r\n"
      "PowerState_S3S4( PowerState:\"S4\", PowerSleepSec:7, PowerIntervalSec:2, DelayRunSec:0, LimitTimeSec:0, "
      "LimitCycle:3, StopByJobEnd:FALSE );\r\n"
      "OneShot_S3S4( PowerState:\"S3\", PowerSleepSec:0 );\r\n";
  const std::vector<std::string> first = {
      D("[PowerState] Sleep to S3, Cycle:1"), D("[PowerState] Sleep to S3"),
      D("[PowerState] Weakup from S3, Cycle:1, Elapsed Time: 6.000 sec "), D("[PowerState] Elapsed Time(sec): 6"),
      D("[PowerState] Sleep to S4, Cycle:2")};
  std::vector<std::string> all = first;
  for (const std::string& l :
       {D("[PowerState] Weakup from S4, Cycle:2, Elapsed Time: 7.000 sec "), D("[PowerState] Elapsed Time(sec): 7"),
        D("[PowerState] Sleep to S4, Cycle:3"), D("[PowerState] Weakup from S4, Cycle:3, Elapsed Time: 7.000 sec "),
        D("[PowerState] Elapsed Time(sec): 7"), D("[PowerState] Stop by Cycle Limit")})
    all.push_back(l);
  // Where the first cycle's S3 is missing and the run skips the errors, the second command's
  // cycling still runs.
  std::vector<std::string> afterFailure(first.begin(), first.begin() + 2);
  afterFailure.insert(afterFailure.end(), all.begin() + 4, all.end());
  struct Case {
    const char* what;
    bool s3, s4;
    const std::vector<std::string>& lines;
    int32_t code;
    const char* missing;
    const char* prefix;
  } cases[] = {
      {"the machine has S4", true, true, all, 0, nullptr, ""},
      {"the machine lacks S4", true, false, first, -79, "this machine has no S4", ""},
      {"the machine lacks S3", false, true, afterFailure, 0, "this machine has no S3", "SetErrorSkip( SkipCount:5 );\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SteppedLabPower lab(host, {false, c.s3, c.s4});
    powerSeam = &lab;
    RunWith(c.prefix + script);
    std::vector<std::string> shown;
    // The one shot's wake may come late on the virtual clock that the cycling advances meanwhile.
    for (const std::string& l : console.lines)
      if (l.find("[PowerState]") != std::string::npos && l.find("Wake late") == std::string::npos) shown.push_back(l);
    EXPECT_EQ(shown, c.lines);
    EXPECT_EQ(LastCode(), c.code);
    EXPECT_EQ(Printed("this machine has no S4"), !c.s4);
    if (c.missing) EXPECT_TRUE(Printed(c.missing));
    interp.reset();  // before the lab power goes
  }
  powerSeam = &power;
}

// A delayed restart given up (the script ends or stops first) leaves no save and no registration;
// one replaced by a second delayed restart, or overtaken by a restart at once, keeps the save that
// restart made.
TEST_F(RebootCommands, AGivenUpDelayedRestartDropsItsSave) {
  const std::string later = "PCReBoot( DelayRunSec:30, PowerAction:1 );\r\n";
  struct Case {
    const char* what;
    std::string script;
    int requests;
    bool kept;  // a save and a registration are left for the next start
  } cases[] = {
      {"the script ends first", later, 0, false},
      {"an error stops the run first", later + "x = missing;\r\n", 0, false},
      {"a second delayed restart", later + "PCReBoot( DelayRunSec:1, PowerAction:1 );\r\nDelay( sec:60 );\r\n", 1, true},
      {"a restart at once", later + "PCReBoot( DelayRunSec:0, PowerAction:1 );\r\n", 1, true},
      {"a second delayed restart that does not go on",
       later + "PCReBoot( DelayRunSec:1, PowerAction:1, SPOR:FALSE, BootContinue:FALSE );\r\nDelay( sec:60 );\r\n", 1,
       false},
      {"a restart at once that does not go on",
       later + "PCReBoot( DelayRunSec:0, PowerAction:1, SPOR:FALSE, BootContinue:FALSE );\r\n", 1, false},
  };
  host.WarpClock(100);  // 30 s are 300 ms here
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    power = FakePower();
    autoStart = FakeAutoStart();
    for (const std::string& f : platform::ListFiles(work)) platform::RemoveFile(platform::JoinPath(work, f));
    RunWith(c.script);
    interp.reset();  // joins what is left of the delayed restarts
    EXPECT_EQ(power.requests, c.requests);
    EXPECT_EQ(Saved(), c.kept);
    EXPECT_EQ(autoStart.entries.size(), c.kept ? 1u : 0u);
  }
}

}  // namespace
}  // namespace kestrune::app
