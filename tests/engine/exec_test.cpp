// Exec and the import of a program's result files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/executor.h"
#include "engine/external_commands.h"
#include "engine/interpreter.h"
#include "engine/program_run.h"
#include "engine/view.h"
#include "platform/files.h"
#include "support/executable_file.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::engine {

using base::Format;

namespace {

using testing::ReadTextFile;
using testing::WriteShellScript;
using testing::WriteTextFile;

struct Shown {
  std::string text;
  uint32_t colour;
  int32_t kind;
  std::string path;
  bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
  return os << "{" << s.text << ", 0x" << std::hex << s.colour << std::dec << ", " << s.kind << ", " << s.path
            << "}";
}

class ExecTest : public ::testing::Test {
 protected:
  ExecTest() : interp(host, testing::WorkFolderSettings(work.path()), nullptr) {
    View& v = interp.view(0);
    testing::ReadyForStatements(v);
    v.scriptFolder = work.path();
    v.logFolder = work.path();
  }

  // Runs one statement pass after pass, keeping the completion code each pass reported.
  void Run(std::string statement) { reports = testing::RunStatement(interp, std::move(statement)); }

  // The lines shown since the last call, as text, colour, kind and attached path.
  std::vector<Shown> Lines() {
    std::vector<Shown> out;
    std::lock_guard<std::mutex> guard(interp.output(0)->lock);
    auto& lines = interp.output(0)->lines;
    for (size_t i = seen; i < lines.size(); ++i)
      out.push_back({lines[i].text, lines[i].colour, lines[i].kind, lines[i].attachedPath});
    seen = lines.size();
    return out;
  }

  std::string In(const std::string& name) { return platform::JoinPath(work.path(), name); }
  // The single completion code the last statement reported (0 when none); more than one fails.
  int32_t LastCode() { return testing::SingleCode(reports); }
  std::string LastDescription() { return testing::LastDescription(reports); }

  testing::TempDir work;
  testing::FakeHost host;
  Interpreter interp;
  testing::PassReports reports;
  size_t seen = 0;
};

TEST_F(ExecTest, ImportsIniTxtAndXmlWithTheirColours) {
  WriteTextFile(In("r.PNG"), "png");
  WriteTextFile(In("r.INI"),
                "[Other]\nITEM0=not shown\n[Result]\nITEM0=Pass\nITEM1=Step Err 3 [LINK] /l/x.log\n"
                "ITEM3=after a gap: not shown\n");
  WriteTextFile(In("r.TXT"), "line one\r\n\r\n   \r\nchart      [PNG] /c/chart.png\r\nERROR is grey\r\n");
  WriteTextFile(In("r.XML"),
                "<Root>\n  <Score>97</Score>\n  <Name>Disk A</Name>\n<Open>no close tag\n</Root>\n"
                "<a<b>>c</a>\n");
  ImportOutcome outcome = ImportResultFiles(interp.writer(), interp.output(0), ResultFilesOf(In("r")));
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.failure, "Step Err 3");
  EXPECT_EQ(Lines(), (std::vector<Shown>{
                         {In("r.PNG"), colour::kWhite, kPicture, In("r.PNG")},
                         {"Pass", colour::kWhite, kText, ""},
                         {"Step Err 3", colour::kRed, kText, "/l/x.log"},
                         {"line one", colour::kGrey, kText, ""},
                         {"/c/chart.png", colour::kWhite, kPicture, "/c/chart.png"},
                         {"ERROR is grey", colour::kGrey, kText, ""},
                         {Format("%-60s : %s", "Score", "97"), colour::kYellow, kText, ""},
                         {Format("%-60s : %s", "Name", "Disk A"), colour::kGrey, kText, ""},
                         {Format("%-60s : %s", "ab", ">c"), colour::kGrey, kText, ""},
                     }));
}

TEST_F(ExecTest, ResultFilesAreFoundInEitherCase) {
  WriteTextFile(In("b.txt"), "x\n");
  WriteTextFile(In("b.XML"), "");
  EXPECT_EQ(ResultFilesOf(In("b")), (std::vector<std::string>{In("b.txt"), In("b.XML")}));
  EXPECT_TRUE(ResultFilesOf(In("none")).empty());
}

TEST_F(ExecTest, RunsTheProgramInTheAssignedFolderWithLiteralArguments) {
  testing::TempDir tools;
  WriteShellScript(tools.path(), "show.sh",
                   "pwd > \"$1.TXT\"\nshift\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done >> \"" +
                       platform::JoinPath(tools.path(), "args.txt") + "\"\nexit 5\n");
  Run("Exec( AssignFolder:\"" + tools.path() + "\", CmdLine:\"show.sh %Output% ;id `id` $HOME\" );");
  EXPECT_EQ(LastCode(), 0);
  EXPECT_EQ(ReadTextFile(platform::JoinPath(tools.path(), "args.txt")), "[;id]\n[`id`]\n[$HOME]\n");
  EXPECT_EQ(interp.view(0).vars.Get("Exec").number, 5);
  std::vector<Shown> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);  // the command's header and the imported TXT line
  EXPECT_NE(lines[0].text.find("Exec(AssignFolder:"), std::string::npos);
  EXPECT_EQ(lines[1], (Shown{tools.path(), colour::kGrey, kText, ""}));
}

TEST_F(ExecTest, ErrLineInTheResultIniReportsError) {
  WriteShellScript(work.path(), "check.sh", "printf '[Result]\\nITEM0=Compare Err\\n' > \"$1.INI\"\n");
  Run(R"(Exec( CmdLine:"check.sh %Output%", WaitClose:TRUE );)");
  EXPECT_EQ(LastCode(), -255);
  EXPECT_EQ(LastDescription(), "Error. Compare Err");
  EXPECT_EQ(interp.view(0).vars.Get("_ErrorCount").number, 1);
}

TEST_F(ExecTest, ResultFileNamesTheFileToImport) {
  WriteShellScript(work.path(), "w.sh", "printf 'from result file\\n' > out/log.txt\n");
  std::filesystem::create_directories(platform::FsPath(In("out")));
  Run(R"(Exec( AssignFolder:"", CmdLine:"w.sh", ResultFile:"out/log.txt" );)");
  std::vector<Shown> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].text, "from result file");
}

TEST_F(ExecTest, FailuresBeforeTheRun) {
  Run(R"(Exec( CmdLine:"no-such-program.exe -x" );)");
  EXPECT_EQ(LastCode(), -11);
  EXPECT_EQ(LastDescription(), "File Open Fail or File Does Not Exist. no-such-program.exe");
  Run(R"(Exec( AssignFolder:"/nonexistent/folder", CmdLine:"x" );)");
  EXPECT_EQ(LastCode(), -11);
  EXPECT_EQ(LastDescription(),
            "File Open Fail or File Does Not Exist. AssignFolder does not exist: /nonexistent/folder");
  Run(R"(Exec( CmdLine:"" );)");
  EXPECT_EQ(LastCode(), -2);
  WriteTextFile(In("plain.txt"), "not a program");
  Run(R"(Exec( CmdLine:"plain.txt" );)");
  EXPECT_EQ(LastCode(), -11);  // exists, but cannot be started
  EXPECT_EQ(interp.view(0).vars.Get("_ErrorCount").number, 4);
}

TEST_F(ExecTest, WithoutWaitTheImportHappensInTheBackground) {
  WriteShellScript(work.path(), "bg.sh", "sleep 0.2\nprintf 'late line\\n' > \"$1.TXT\"\n");
  Run(R"(Exec( CmdLine:"bg.sh %Output%", WaitClose:FALSE );)");
  EXPECT_EQ(host.monotonic, 5000u);  // the run thread paused five seconds (fake clock)
  EXPECT_EQ(Lines().size(), 1u);     // only the command's header so far
  auto lineCount = [&] {
    std::lock_guard<std::mutex> guard(interp.output(0)->lock);
    return interp.output(0)->lines.size();
  };
  for (int i = 0; i < 300 && lineCount() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::lock_guard<std::mutex> guard(interp.output(0)->lock);
  ASSERT_EQ(interp.output(0)->lines.size(), 2u);
  EXPECT_EQ(interp.output(0)->lines[1].text, "late line");
}

}  // namespace
}  // namespace kestrune::engine
