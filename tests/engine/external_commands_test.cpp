// ExtCmd.ini: loading the table, the parameter words, and running command and query rows through
// the statement executor.
#include "engine/external_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/command_parameters.h"
#include "engine/executor.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "support/executable_file.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::engine {

using base::Format;
using base::IniFile;

namespace {

using testing::ReadTextFile;
using testing::WriteShellScript;
using testing::WriteTextFile;

// A launcher that records what it is asked to start and ends every program at once.
class RecordingLauncher final : public platform::ProcessLauncher {
 public:
  struct Ended final : platform::Process {
    uint32_t Id() const override { return 1; }
    std::optional<int> Wait(const std::atomic<bool>*, uint32_t) override { return 3; }
  };
  std::unique_ptr<platform::Process> Start(const std::string& program, const std::vector<std::string>&,
                                           const std::string& folder, std::string& e) override {
    return StartCommandLine(program, "", folder, e);
  }
  std::unique_ptr<platform::Process> StartCommandLine(const std::string& program, const std::string& line,
                                                      const std::string& folder, std::string&) override {
    started.push_back({program, line, folder});
    return std::make_unique<Ended>();
  }
  int CountRunning(std::string_view name) override {
    asked.emplace_back(name);
    return name == runningName ? running : 0;
  }
  std::string ShortPathForm(const std::string& path) override { return shortForm.empty() ? path : shortForm; }
  std::string ProgramSearchPath() override { return ""; }

  struct Started {
    std::string program, line, folder;
  };
  std::vector<Started> started;
  std::vector<std::string> asked;
  std::string runningName;
  int running = 0;
  std::string shortForm;
};

std::vector<std::string> NamesOf(const std::vector<ExternalCommand>& rows) {
  std::vector<std::string> names;
  for (const ExternalCommand& r : rows) names.push_back(r.name);
  return names;
}

TEST(ReadExternalCommands, DropsSectionsWithoutAProgramAndAddsQueryRows) {
  testing::TempDir work, elsewhere;
  std::string tool = WriteShellScript(work.path(), "tool.sh", "exit 0\n");
  std::string absolute = WriteShellScript(elsewhere.path(), "abs.sh", "exit 0\n");
  IniFile ini = IniFile::Parse(
      "[Tool]\nEXE_PATH=tool.sh\nPARAMETER=-d %Disk%\nSUPPORTMODE=raw\n"
      "[Missing]\nEXE_PATH=nothere.exe\n"
      "[NoPath]\nPARAMETER=-x\n"
      "[Abs]\nEXE_PATH=" +
      absolute +
      "\nSUPPORTMODE= Partition \nAPP_CHKEXIST=need/lib.so\n"
      "APP_DOWNLOAD=https://example.invalid/setup.msi#setup.msi#x\n"
      "[Other]\nEXE_PATH=tool.sh\nSUPPORTMODE=whatever\n"
      "[tool]\nEXE_PATH=tool.sh\n");  // a second section of the same name is not seen
  std::vector<ExternalCommand> rows = ReadExternalCommands(ini, work.path());
  ASSERT_EQ(NamesOf(rows), (std::vector<std::string>{"Tool", "IsToolRunning", "Abs", "IsAbsRunning", "Other",
                                                     "IsOtherRunning"}));
  EXPECT_EQ(rows[0].mode, SupportMode::kRawOnly);
  EXPECT_EQ(rows[0].programPath, tool);
  EXPECT_TRUE(rows[0].isCommand);
  EXPECT_EQ(rows[0].parameter, "-d %Disk%");
  EXPECT_EQ(rows[0].usage, R"(Tool( Parameter:"-d %Disk%", WaitClose:TRUE);)");
  EXPECT_EQ(rows[1].mode, SupportMode::kRunningQuery);
  EXPECT_FALSE(rows[1].isCommand);
  EXPECT_EQ(rows[1].programPath, tool);
  EXPECT_EQ(rows[1].usage, "Running = IsToolRunning();");
  EXPECT_EQ(rows[2].mode, SupportMode::kPartitionOnly);
  EXPECT_EQ(rows[2].programPath, absolute);
  EXPECT_EQ(rows[2].checkExist, platform::JoinPath(work.path(), "need/lib.so"));
  EXPECT_EQ(rows[2].download, "https://example.invalid/setup.msi#setup.msi#x");
  EXPECT_EQ(rows[4].mode, SupportMode::kAnyDisk);
}

TEST(ReadExternalCommands, SeesOnlyTheSectionNamesThatFitTheList) {
  testing::TempDir work;
  WriteShellScript(work.path(), "t.sh", "exit 0\n");
  std::string text;
  for (int n = 0; n < 200; ++n) text += "[" + std::string(55, 'C') + Format("%05d", n) + "]\nEXE_PATH=t.sh\n";
  // Each 60-character name takes 61 places of the 10,240; one more ends the list.
  EXPECT_EQ(ReadExternalCommands(IniFile::Parse(text), work.path()).size(), 2u * ((10240 - 1) / 61));
}

TEST(ReadExternalCommands, MissingFileGivesNoRows) {
  testing::TempDir work;
  EXPECT_TRUE(LoadExternalCommands(work.path()).empty());
}

TEST(FindExternalCommand, IgnoresCaseAndBlanksOfTheRowName) {
  std::vector<ExternalCommand> rows(2);
  rows[0].name = " Spaced ";
  rows[1].name = "Plain";
  EXPECT_EQ(FindExternalCommand(rows, "spaced"), &rows[0]);
  EXPECT_EQ(FindExternalCommand(rows, "PLAIN"), &rows[1]);
  EXPECT_EQ(FindExternalCommand(rows, "Plai"), nullptr);
}

TEST(SubstituteParameters, ReplacesTheKnownWords) {
  ParameterValues v;
  v.scriptFolder = "/s";
  v.outputBase = "/log/R0000000007";
  v.disk = R"(\\.\PHYSICALDRIVE2)";
  const std::pair<const char*, const char*> cases[] = {
      {"%Scpdir%/a %Output%.txt", "/s/a /log/R0000000007.txt"},
      {"%scpDIR% %OUTPUT%", "/s /log/R0000000007"},
      {"-d %Disk% -i %DiskId%", R"(-d \\.\PHYSICALDRIVE2 -i %DiskId%)"},  // unknown values stay
      {"%xVolume%%CdiId%", "%xVolume%%CdiId%"},
      {"100% %Disk", "100% %Disk"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(SubstituteParameters(in, v), out) << in;
}

TEST(SubstituteParameters, ValuesCannotAddArgumentsOrWords) {
  ParameterValues v;
  v.disk = R"(E" & del /q C:\* & ")";
  v.scriptFolder = "%Output%";
  v.outputBase = "out";
  EXPECT_EQ(SubstituteParameters(R"(-d "%Disk%" %Scpdir%)", v), R"(-d "E & del /q C:\* & " %Output%)");
}

class ExternalCommandRunTest : public ::testing::Test {
 protected:
  ExternalCommandRunTest() : interp(host, testing::WorkFolderSettings(work.path()), nullptr) {
    View& v = interp.view(0);
    testing::ReadyForStatements(v);
    v.scriptFolder = work.path();
    v.logFolder = work.path();
  }

  void Use(const std::string& ini, platform::ProcessLauncher& launcher) {
    interp.SetExternalCommands(
        std::make_shared<ExternalCommands>(ReadExternalCommands(IniFile::Parse(ini), work.path()), launcher));
  }

  // Runs one statement pass after pass, keeping the completion code each pass reported.
  void Run(std::string statement) { reports = testing::RunStatement(interp, std::move(statement)); }

  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const OutputLine& l : interp.output(0)->lines) out.push_back(l.text);
    return out;
  }

  // The single completion code the last statement reported (0 when none); more than one fails.
  int32_t LastCode() { return testing::SingleCode(reports); }
  std::string LastDescription() { return testing::LastDescription(reports); }

  testing::TempDir work;
  testing::FakeHost host;
  Interpreter interp;
  testing::PassReports reports;
  RecordingLauncher fake;
};

TEST_F(ExternalCommandRunTest, SupportModesNeedTheirDiskMode) {
  WriteShellScript(work.path(), "t.sh", "exit 0\n");
  Use("[RawTool]\nEXE_PATH=t.sh\nSUPPORTMODE=RAW\n[PartTool]\nEXE_PATH=t.sh\nSUPPORTMODE=PARTITION\n"
      "[AnyTool]\nEXE_PATH=t.sh\n",
      fake);
  // A run without a disk has neither a raw disk nor volumes.
  Run("RawTool();");
  EXPECT_EQ(LastCode(), -20);
  EXPECT_EQ(LastDescription(),
            "Command Only Support RAW Mode. Use ChangeDisk() or Partition_Delete() then try again.");
  Run("PartTool();");
  EXPECT_EQ(LastCode(), -24);
  EXPECT_EQ(LastDescription(), "No Partition Found. Use ChangeDisk() or Partition_Create() then try again.");
  EXPECT_TRUE(fake.started.empty());
  Run("AnyTool();");
  EXPECT_EQ(fake.started.size(), 1u);
  EXPECT_EQ(Texts().front().substr(Texts().front().find('>') + 2), "RawTool();");
}

TEST_F(ExternalCommandRunTest, CommandLineIsTheQuotedProgramAndTheParameterText) {
  std::string tool = WriteShellScript(work.path(), "t.sh", "exit 0\n");
  Use("[Tool]\nEXE_PATH=t.sh\nPARAMETER=-o %Output% -s \"%Scpdir%\"\n", fake);
  Run("tool();");  // any case; the parameter of ExtCmd.ini when the call gives none
  ASSERT_EQ(fake.started.size(), 1u);
  std::string base = platform::JoinPath(work.path(), "R0000000001");  // after the header line
  EXPECT_EQ(fake.started[0].program, tool);
  EXPECT_EQ(fake.started[0].line, "\"" + tool + "\" -o " + base + " -s \"" + work.path() + "\"");
  EXPECT_EQ(fake.started[0].folder, work.path());
  EXPECT_EQ(interp.view(0).vars.Get("tool").number, 3);  // the exit code

  fake.shortForm = "/SHORT~1/T.SH";
  Run(R"(Tool( Parameter:"%Disk% x", WaitClose:TRUE );)");
  ASSERT_EQ(fake.started.size(), 2u);
  EXPECT_EQ(fake.started[1].line, "\"/SHORT~1/T.SH\" %Disk% x");
  EXPECT_EQ(LastCode(), 0);
}

TEST_F(ExternalCommandRunTest, MissingPrerequisiteIsReportedNotInstalled) {
  WriteShellScript(work.path(), "t.sh", "exit 0\n");
  Use("[Tool]\nEXE_PATH=t.sh\nAPP_CHKEXIST=/nonexistent/dep.dll\nAPP_DOWNLOAD=https://example.invalid/"
      "dep.msi#dep.msi\n",
      fake);
  Run("Tool();");
  EXPECT_EQ(LastCode(), -11);
  EXPECT_NE(LastDescription().find("/nonexistent/dep.dll is missing"), std::string::npos);
  EXPECT_NE(LastDescription().find("https://example.invalid/dep.msi"), std::string::npos);
  EXPECT_TRUE(fake.started.empty());
  Run("IsToolRunning();");
  EXPECT_EQ(LastCode(), -11);
  EXPECT_TRUE(fake.asked.empty());
}

TEST_F(ExternalCommandRunTest, ProgramRemovedAfterStartUpReportsItsPath) {
  std::string tool = WriteShellScript(work.path(), "t.sh", "exit 0\n");
  Use("[Tool]\nEXE_PATH=t.sh\n", fake);
  platform::RemoveFile(tool);
  Run("Tool();");
  EXPECT_EQ(LastCode(), -11);
  EXPECT_EQ(LastDescription(), "File Open Fail or File Does Not Exist. " + tool);
  EXPECT_TRUE(fake.started.empty());
}

TEST_F(ExternalCommandRunTest, QueryRowCountsByLongThenShortName) {
  WriteShellScript(work.path(), "LongToolName.sh", "exit 0\n");
  Use("[Tool]\nEXE_PATH=LongToolName.sh\n", fake);
  fake.runningName = "LongToolName.sh";
  fake.running = 2;
  Run("n = IsToolRunning();");
  EXPECT_EQ(interp.view(0).vars.Get("n").number, 2);
  EXPECT_TRUE(Texts().empty());  // no header for the query

  fake.asked.clear();
  fake.shortForm = "/X/LONGTO~1.SH";
  fake.runningName = "LONGTO~1.SH";
  fake.running = 1;
  Run("n = IsToolRunning();");
  EXPECT_EQ(interp.view(0).vars.Get("n").number, 1);
  EXPECT_EQ(fake.asked, (std::vector<std::string>{"LongToolName.sh", "LONGTO~1.SH"}));
}

TEST_F(ExternalCommandRunTest, RealProgramGetsLiteralArgumentsAndItsResultsAreImported) {
  WriteShellScript(
      work.path(), "t.sh",
      "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > args.txt\n"
      "printf '[Result]\\nITEM0=Step one\\nITEM1=Errors: 1 [LINK] /logs/e.txt\\n' > \"$1.INI\"\n");
  Use("[Tool]\nEXE_PATH=t.sh\n", platform::DefaultProcessLauncher());
  std::string marker = platform::JoinPath(work.path(), "pwned");
  Run("Tool( Parameter:\"%Output% ;touch " + marker + " $(touch " + marker + ") `touch " + marker +
      "` | & >x\", WaitClose:TRUE );");
  std::string base = platform::JoinPath(work.path(), "R0000000001");
  EXPECT_EQ(ReadTextFile(platform::JoinPath(work.path(), "args.txt")),
            "[" + base + "]\n[;touch]\n[" + marker + "]\n[$(touch]\n[" + marker + ")]\n[`touch]\n[" + marker +
                "`]\n[|]\n[&]\n[>x]\n");
  EXPECT_FALSE(platform::FileExists(marker));
  EXPECT_EQ(LastCode(), -255);
  EXPECT_EQ(LastDescription(), "Error. Errors: 1");
  const auto& lines = interp.output(0)->lines;
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1].text, "Step one");
  EXPECT_EQ(lines[2].text, "Errors: 1");
  EXPECT_EQ(lines[2].colour, colour::kRed);
  EXPECT_EQ(lines[2].attachedPath, "/logs/e.txt");
}

}  // namespace
}  // namespace kestrune::engine
