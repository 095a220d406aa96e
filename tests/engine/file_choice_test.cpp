// File parameters left empty ask the operator through the Ui seam; a cancelled choice, and every
// choice of an unattended run, cancels the run.
#include <gtest/gtest.h>

#include <memory>

#include "script_run_fixture.h"
#include "support/scripted_ui.h"

namespace kestrune::engine {
namespace {

using Lines = std::vector<std::string>;
using Mode = FileChoice::Mode;

class FileChoiceTest : public ScriptRunFixture<> {
 protected:
  const Lines& RunAsking(const std::string& script) {
    interp.reset();
    console.lines.clear();
    interp.emplace(host, settings, &console);
    interp->SetUi(ui);
    interp->RunScriptText(0, script, platform::JoinPath(scripts, "test.scpt"));
    return console.lines;
  }

  std::shared_ptr<testing::ScriptedUi> ui = std::make_shared<testing::ScriptedUi>();
};

struct Question {
  const char* statement;
  Mode mode;
  const char* title;
  const char* extension;
};

TEST_F(FileChoiceTest, EachCommandAsksItsOwnQuestionAndACancelStopsTheRun) {
  const Question questions[] = {
      {R"(v = GetINIData( Section:"S", Item:"I" );)", Mode::kOpen, "ini File", "ini"},
      {R"(SetINIData( Section:"S", Item:"I", Output:1 );)", Mode::kSave, "INI File", "ini"},
      {R"(Report_Print( Output:"x" );)", Mode::kSave, "CSV File", "csv"},
      {R"(CSV_AddData( Item:"Temp", Output:"40" );)", Mode::kSave, "CSV File", "csv"},
      {R"(CallFnScript( Param:"p" );)", Mode::kOpen, "Script File", "scpt"},
  };
  for (const Question& q : questions) {
    SCOPED_TRACE(q.statement);
    ui->asked.clear();
    const Lines& out = RunAsking(std::string(q.statement) + R"( Print( Output:"not reached" );)");
    ASSERT_EQ(ui->asked.size(), 1u);
    const FileChoice& c = ui->asked[0].choice;
    EXPECT_EQ(c.mode, q.mode);
    EXPECT_EQ(c.title, q.title);
    EXPECT_EQ(c.extension, q.extension);
    EXPECT_EQ(c.cancel, &interp->view(0).cancel);  // the question can give up when the run stops
    EXPECT_TRUE(Cancelled());
    EXPECT_EQ(out.back(), D("---- Cancel Job ----"));
  }
}

TEST_F(FileChoiceTest, TheChosenFileIsUsed) {
  const std::string ini = Work("chosen.ini");
  const std::string report = Work("chosen.csv");
  ui->answers = {ini, ini, report};
  const Lines& out = RunAsking(R"(
      SetINIData( Section:"Station", Item:"Slot", Output:7 );
      v = GetINIData( Section:"Station", Item:"Slot" );
      Print( Output:v );
      Report_Print( Output:"a,b\n" );
  )");
  EXPECT_EQ(out, (Lines{D("7")}));
  EXPECT_FALSE(Cancelled());
  EXPECT_NE(Read(ini).find("Slot=7"), std::string::npos) << Read(ini);
  EXPECT_EQ(Read(report), "a,b\r\n");
  EXPECT_EQ(ui->asked.size(), 3u);
}

TEST_F(FileChoiceTest, AnEmptyAnswerIsACancel) {
  ui->answers = {std::string()};
  RunAsking(R"(Report_Print( Output:"x" );)");
  EXPECT_TRUE(Cancelled());
}

TEST_F(FileChoiceTest, AnUnattendedRunHasNobodyToAskAndIsCancelled) {
  const Lines& out = Run(R"(Report_Print( Output:"x" ); Print( Output:"not reached" );)");
  EXPECT_TRUE(Cancelled());
  EXPECT_EQ(out, (Lines{D("---- Cancel Job ----")}));
}

}  // namespace
}  // namespace kestrune::engine
