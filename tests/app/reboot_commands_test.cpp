// PCReBoot and AutoRunOnStartup over a fake machine: what is saved and registered, and that no
// failure ever restarts the machine without its save, or leaves a registration behind.
#include "app/reboot_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "app/machine_control.h"
#include "engine/run_save.h"
#include "engine/script_run_fixture.h"
#include "platform/auto_start.h"
#include "platform/power.h"

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
  platform::SleepResult SleepAndWake(platform::SleepState, uint32_t, std::string&) override {
    return platform::SleepResult::kWoke;
  }
  bool Simulated() const override { return simulated; }
  int requests = 0;
  platform::PowerAction last = platform::PowerAction::kRestart;
  bool fail = false;
  bool simulated = true;
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

class RebootCommands : public engine::ScriptRunFixture<> {
 protected:
  const std::vector<std::string>& RunWith(const std::string& script) {
    interp.reset();
    console.lines.clear();
    interp.emplace(host, settings, &console);
    EXPECT_TRUE(RegisterRebootCommands(*interp).empty());
    MachineControl& mc = MachineControlOf(*interp);
    mc.power = &power;
    mc.autoStart = &autoStart;
    mc.saveFolder = work;
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
  FakeAutoStart autoStart;
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

TEST_F(RebootCommands, AutoRunOnStartupRegistersAfterItsCountdownAndExitRemovesIt) {
  RunWith("AutoRunOnStartup();\r\n");
  ASSERT_EQ(autoStart.entries.size(), 1u);
  EXPECT_NE(autoStart.entries.begin()->second.find("AUTOCLOSE:0"), std::string::npos);
  EXPECT_TRUE(Printed("Current script will Auto-Run on next time Windows Startup"));
  autoStart.entries["AutoRunOnStartup"] = "left by another instance";
  RunWith("AutoRunOnStartup();\r\nExit( ErrCode:0 );\r\n");
  EXPECT_TRUE(autoStart.entries.empty());
}

}  // namespace
}  // namespace kestrune::app
