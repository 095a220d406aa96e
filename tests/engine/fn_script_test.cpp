// CallFnScript, CancelFnScript and IsFnScriptRunning: the child's command line and how the child
// reads it back, waiting for a child and importing its results, failures, background children.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "app/command_line.h"
#include "command_fixture.h"
#include "engine/child_scripts.h"
#include "engine/external_commands.h"
#include "platform/command_line_split.h"
#include "platform/files.h"
#include "platform/terminal.h"
#include "support/executable_file.h"

namespace kestrune::engine {
namespace {

using testing::WriteTextFile;

// ---- The command line ----

TEST(FnScriptCommandLineTest, TheChildsCommandLine) {
  FnScriptCall call{"/opt/k/kestrune",          "/s/child.scpt", "\\\\.\\PHYSICALDRIVE1",
                    "/w/R0000000042",           "a b",           true,
                    "/sim \"SIMDIR:/w/simlab\""};
  EXPECT_EQ(FnScriptCommandLine(call),
            "\"/opt/k/kestrune\" SCRIPT:\"/s/child.scpt\", DRIVE:\"\\\\.\\PHYSICALDRIVE1\", FRAME:4/4, "
            "SUBBASE:\"/w/R0000000042\", SUBPARAM:\"a b\", AUTOCLOSE:1 /sim \"SIMDIR:/w/simlab\"");
  // Without a disk the child runs without one too, and gets no lab.
  call.devicePath.clear();
  call.autoClose = false;
  EXPECT_EQ(FnScriptCommandLine(call),
            "\"/opt/k/kestrune\" SCRIPT:\"/s/child.scpt\", DRIVE:\"\\\\.\\NULLDisk\", FRAME:4/4, "
            "SUBBASE:\"/w/R0000000042\", SUBPARAM:\"a b\", AUTOCLOSE:0");
}

TEST(FnScriptCommandLineTest, TheChildReadsBackWhatItWasGiven) {
  struct Case {
    const char* name;
    std::string script, param;
  };
  const Case cases[] = {
      {"plain", "/s/child.scpt", "x$y=3$"},
      {"blanks in the path", "/my scripts/child one.scpt", "two words"},
      // A quote in the parameter would end the value early and make further arguments of the rest.
      {"quotes are dropped", "/s/child.scpt", "a\" SCRIPT:\"/evil.scpt"},
      // A backslash before the closing quote would escape it.
      {"trailing backslash", "C:\\scripts\\child.scpt", "dir\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FnScriptCall call{"/opt/k/kestrune", c.script, "\\\\.\\PHYSICALDRIVE0",    "/w/R0000000042",
                      c.param,           true,     "/sim \"SIMDIR:/w/my lab\""};
    app::CommandLine cl = app::ParseCommandLine(platform::SplitWindowsCommandLine(FnScriptCommandLine(call)),
                                                app::ParseOptions{});
    EXPECT_EQ(cl.scriptPath, c.script);
    EXPECT_EQ(cl.targetSelector, "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(cl.subBase, "/w/R0000000042");
    EXPECT_EQ(cl.frame, "4/4");
    EXPECT_EQ(cl.uiMode, 3);  // AUTOCLOSE: unattended, the window closes
    EXPECT_TRUE(cl.simulated);
    EXPECT_EQ(cl.simFolder, "/w/my lab");
    std::string expectedParam;
    for (char ch : c.param)
      if (ch != '"' && ch != ',') expectedParam += ch;  // commas go as in every argument
    EXPECT_EQ(cl.subParam, expectedParam);
  }
}

// ---- CallFnScript with a launcher that plays the child ----

// What a child does once started: it gets its command line and the stop flag of whoever waits.
using ChildBehaviour =
    std::function<std::optional<int>(const std::string& line, const std::atomic<bool>* stop)>;

class ChildLauncher final : public platform::ProcessLauncher {
 public:
  struct Child final : platform::Process {
    ChildBehaviour behaviour;
    std::string line;
    uint32_t Id() const override { return 7; }
    std::optional<int> Wait(const std::atomic<bool>* stop, uint32_t) override {
      return behaviour(line, stop);
    }
  };
  std::unique_ptr<platform::Process> Start(const std::string& program, const std::vector<std::string>&,
                                           const std::string& folder, std::string& e) override {
    return StartCommandLine(program, "", folder, e);
  }
  std::unique_ptr<platform::Process> StartCommandLine(const std::string& program, const std::string& line,
                                                      const std::string&, std::string& error) override {
    programs.push_back(program);
    lines.push_back(line);
    if (program.empty()) {
      error = "no program";
      return nullptr;
    }
    auto child = std::make_unique<Child>();
    child->behaviour = behaviour;
    child->line = line;
    return child;
  }
  int CountRunning(std::string_view) override { return 0; }
  std::string ShortPathForm(const std::string& path) override { return path; }
  std::string ProgramSearchPath() override { return ""; }

  ChildBehaviour behaviour = [](const std::string&, const std::atomic<bool>*) { return 0; };
  std::vector<std::string> programs;
  std::vector<std::string> lines;
};

// The output base name a child was given.
std::string SubBaseOf(const std::string& line) {
  return app::ParseCommandLine(platform::SplitWindowsCommandLine(line), app::ParseOptions{}).subBase;
}

// CommandFixture with the program path a test needs.
class FnScriptFixture : public CommandFixture<> {
 protected:
  explicit FnScriptFixture(const std::string& programPath) : CommandFixture(programPath) {}

  std::string In(const std::string& name) { return platform::JoinPath(dir.path(), name); }
};

class CallFnScriptTest : public FnScriptFixture {
 protected:
  CallFnScriptTest() : FnScriptFixture("/opt/k/kestrune") {
    interp.SetExternalCommands(std::make_shared<ExternalCommands>(std::vector<ExternalCommand>{}, launcher));
    WriteTextFile(In("child.scpt"), "Print( Output:\"child\" );\r\n");
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const OutputLine& l : Lines()) out.push_back(l.text);
    return out;
  }

  ChildLauncher launcher;
};

TEST_F(CallFnScriptTest, AWaitedChildHasItsResultsImported) {
  launcher.behaviour = [](const std::string& line, const std::atomic<bool>*) {
    WriteTextFile(SubBaseOf(line) + ".INI", "[Result]\nITEM0=Child Pass\n");
    return 0;
  };
  struct Drive2 final : CurrentDiskQuery {
    int CurrentDiskType() const override { return 0; }
    std::string CurrentDevicePath() const override { return "\\\\.\\PHYSICALDRIVE2"; }
  } drive2;
  interp.SetCurrentDiskQuery(&drive2);
  Run(R"(r = CallFnScript( ScpxFile:"child.scpt", Param:"slot=2" );)");
  ASSERT_EQ(launcher.lines.size(), 1u);
  EXPECT_EQ(launcher.programs[0], "/opt/k/kestrune");
  app::CommandLine child =
      app::ParseCommandLine(platform::SplitWindowsCommandLine(launcher.lines[0]), app::ParseOptions{});
  EXPECT_EQ(child.scriptPath, In("child.scpt"));
  EXPECT_EQ(child.targetSelector, "\\\\.\\PHYSICALDRIVE2");
  EXPECT_EQ(child.subParam, "slot=2");
  EXPECT_TRUE(child.subBase.starts_with(In("R")));
  std::vector<std::string> texts = Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], R"(CallFnScript(ScpxFile:"child.scpt", Param:"slot=2");)");
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Child Pass"), texts.end());
  EXPECT_EQ(ErrorCount(), 0);
  EXPECT_EQ(Var("r").number, 0);
}

TEST_F(CallFnScriptTest, AChildThatFailsReportsOnce) {
  launcher.behaviour = [](const std::string&, const std::atomic<bool>*) { return 3; };
  Run(R"(CallFnScript( ScpxFile:"child.scpt" );)");
  EXPECT_EQ(ErrorCount(), 1);
  EXPECT_EQ(LastError(), "Error. child.scpt ended with exit code 3");

  // A failure line in its results is the report; the exit code adds no second one.
  launcher.behaviour = [](const std::string& line, const std::atomic<bool>*) {
    WriteTextFile(SubBaseOf(line) + ".INI", "[Result]\nITEM0=Step Err 9\n");
    return 3;
  };
  Run(R"(CallFnScript( ScpxFile:"child.scpt" );)");
  EXPECT_EQ(ErrorCount(), 2);
  EXPECT_EQ(LastError(), "Error. Step Err 9");
}

TEST_F(CallFnScriptTest, AMissingScriptOrProgramReportsMinus11) {
  Run(R"(CallFnScript( ScpxFile:"missing.scpt" );)");
  EXPECT_EQ(LastError(), "File Open Fail or File Does Not Exist. missing.scpt");
  EXPECT_TRUE(launcher.lines.empty());
  Interpreter other(host, Settings(dir.path(), ""), nullptr);
  ChildLauncher none;
  other.SetExternalCommands(std::make_shared<ExternalCommands>(std::vector<ExternalCommand>{}, none));
  other.RunScriptText(0, R"(CallFnScript( ScpxFile:"child.scpt" );)", In("parent.scpt"));
  EXPECT_EQ(other.LastCompletionCode(0), -11);
}

TEST_F(CallFnScriptTest, CancelFnScriptPausesThreeSeconds) {
  Run("CancelFnScript();");
  EXPECT_EQ(host.monotonic, 3000u);
}

// ---- Background children, seen through whole runs ----

class BackgroundChildTest : public CallFnScriptTest {
 protected:
  std::string RunScript(const std::string& text) {
    interp.RunScriptText(0, text, In("parent.scpt"));
    std::string all;
    for (const std::string& l : console.lines) all += l + "\n";
    return all;
  }
};

TEST_F(BackgroundChildTest, TheRunWaitsForItsChildAtTheEndAndReportsItsFailure) {
  std::atomic<bool> childMayEnd{false};
  launcher.behaviour = [&](const std::string& line, const std::atomic<bool>* stop) -> std::optional<int> {
    while (!childMayEnd.load())
      if (stop->load()) return std::nullopt;
    WriteTextFile(SubBaseOf(line) + ".TXT", "late child line\n");
    return 5;
  };
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    childMayEnd.store(true);
  });
  std::string out = RunScript(
      R"(CallFnScript( ScpxFile:"child.scpt", WaitClose:FALSE ); Print( Output:"parent goes on" );)");
  release.join();
  EXPECT_GE(host.monotonic, 3000u);  // the pause after the start
  EXPECT_LT(out.find("parent goes on"), out.find("late child line")) << out;
  EXPECT_EQ(interp.LastCompletionCode(0), -255);
  EXPECT_EQ(interp.State<BackgroundChildren>().size(), 0u);
}

TEST_F(BackgroundChildTest, AStoppedRunLeavesItsChildRunning) {
  std::atomic<bool> watcherStopped{false};
  launcher.behaviour = [&](const std::string&, const std::atomic<bool>* stop) -> std::optional<int> {
    while (!stop->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    watcherStopped.store(true);
    return std::nullopt;
  };
  RunScript(R"(CallFnScript( ScpxFile:"child.scpt", WaitClose:FALSE ); Exit( ErrCode:0 );)");
  EXPECT_TRUE(watcherStopped.load());
  EXPECT_EQ(interp.LastCompletionCode(0), 0);
  EXPECT_EQ(interp.State<BackgroundChildren>().size(), 0u);
}

// ---- IsFnScriptRunning ----

TEST_F(CallFnScriptTest, IsFnScriptRunningReadsTheGlobalEntry) {
  ::setenv("KESTRUNE_GLOBALVAR_NAME", "FnScriptTestBlock", 1);
  Run("a = IsFnScriptRunning();");
  Run(R"(SetGlobalVar( Var:"_FnScript", Value:"child.scpt" );)");
  Run("b = IsFnScriptRunning();");
  Run(R"(SetGlobalVar( Var:"_FnScript", Value:"" );)");
  Run("c = IsFnScriptRunning();");
  ::unsetenv("KESTRUNE_GLOBALVAR_NAME");
  EXPECT_EQ(Var("a").number, 0);
  EXPECT_EQ(Var("b").number, 1);
  EXPECT_EQ(Var("c").number, 0);
  EXPECT_EQ(ErrorCount(), 0);
}

// ---- End to end: the program itself as the child ----

class FnScriptEndToEndTest : public FnScriptFixture {
 protected:
  FnScriptEndToEndTest() : FnScriptFixture(KESTRUNE_PROGRAM) {}

  // Runs statement with the children's console output going to a file; returns that output.
  std::string RunCapturing(const std::string& statement) {
    const std::string captured = In("children.out");
    if (!platform::RedirectStandardOutput(captured, false)) ADD_FAILURE() << "cannot capture the output";
    Run(statement);
    platform::RedirectStandardOutput("", false);
    return testing::ReadTextFile(captured);
  }
};

TEST_F(FnScriptEndToEndTest, AChildScriptPrintsAndLeavesAResult) {
  WriteTextFile(In("result.ini"), "[Result]\nITEM0=Child Pass\n");
  WriteTextFile(In("child.scpt"),
                "Print( Output:\"child says hello\" );\r\n"
                "Exec( CmdLine:\"/bin/cp result.ini %Output%.INI\" );\r\n");
  std::string childOut = RunCapturing(R"(r = CallFnScript( ScpxFile:"child.scpt", Param:"from parent" );)");
  EXPECT_NE(childOut.find("FnScript Param: from parent"), std::string::npos) << childOut;
  EXPECT_NE(childOut.find("child says hello"), std::string::npos) << childOut;
  EXPECT_EQ(ErrorCount(), 0) << LastError();
  EXPECT_EQ(Var("r").number, 0);
  bool imported = false;
  for (const OutputLine& l : Lines()) imported = imported || l.text == "Child Pass";
  EXPECT_TRUE(imported) << "the parent shows the result the child left";
}

TEST_F(FnScriptEndToEndTest, AChildThatStopsOnAnErrorFailsTheCall) {
  WriteTextFile(In("failing.scpt"), "Exit( ErrCode:-3, ErrDesc:\"child gives up\" );\r\n");
  RunCapturing(R"(CallFnScript( ScpxFile:"failing.scpt" );)");
  EXPECT_EQ(ErrorCount(), 1);
  EXPECT_EQ(LastError(), "Error. failing.scpt ended with exit code 253");
}

}  // namespace
}  // namespace kestrune::engine
