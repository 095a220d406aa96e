// The six operator dialog commands as scripts call them: binding, bad parameters refused before any
// question, the result stored on every path (answer, countdown, nobody there, Escape, Style 31), the
// job stopped by Escape, and the failures of answer-file lines.
#include <gtest/gtest.h>

#include <fstream>

#include "base/completion_codes.h"
#include "engine/command_fixture.h"
#include "engine/operator_question.h"
#include "engine/operator_ui.h"
#include "support/scripted_ui.h"

namespace kestrune::engine {
namespace {

namespace code = base::code;

class DialogCommandsTest : public CommandFixture<> {
 protected:
  DialogCommandsTest() { Answers(""); }

  // The answer file of the run ("" = none): its lines answer first, then the scripted Ui.
  void Answers(std::string_view text) {
    std::string why;
    std::optional<AnswerFile> file = AnswerFile::Parse(text, why);
    ASSERT_TRUE(file) << why;
    interp.SetUi(std::make_shared<OperatorUi>(ui, *file, [this](uint32_t view, std::string_view line) {
      interp.writer().WriteLine(interp.output(view), line, kDetail, 10, colour::kGrey);
    }));
  }
  std::string LastAudit() {
    for (auto it = Lines().rbegin(); it != Lines().rend(); ++it)
      if (it->text.starts_with("Operator answer - ")) return it->text;
    return {};
  }
  bool Cancelled() { return interp.view(0).cancel.load(); }

  std::shared_ptr<testing::ScriptedUi> ui = std::make_shared<testing::ScriptedUi>();
};

Answer Escape() {
  Answer a;
  a.source = Answer::Source::kEscape;
  return a;
}
Answer Chosen(std::string path) {
  Answer a;
  a.source = Answer::Source::kOperator;
  a.confirmed = true;
  a.text = std::move(path);
  return a;
}

constexpr const char* kMessage =
    R"(iResult = MessageBox(Output:"Test message?\nMulti lines information", Button:"OKCANCEL", AutoOK:TRUE, ICON:"QUESTION" );)";
constexpr const char* kCombo =
    R"(iValue = ComboBox(Output:"Test message?", ItemList:"AAA|*BBB|CCC", Return:"Index", AutoOK:TRUE );)";
constexpr const char* kNumber = R"(iValue = NumberBox( Title:"Number:", Default:10, AutoOK:TRUE );)";
constexpr const char* kCheckList =
    R"(iSelectList[] = CheckListBox(Output:"Test item?", ItemList:"*AAA|BBB|*CCC|DDD", AutoOK:TRUE );)";
constexpr const char* kInput =
    R"(ReturnData = InputBox( Title:"Barcode:", SpecialKey:"SN", LenthLimit:10, ShowResult:TRUE, Default:"" );)";

// The results of the usage templates, answered from an answer file, by nobody (AutoOK's answer) and
// by Escape, with the audit line each leaves.
TEST_F(DialogCommandsTest, ResultsOnEveryPath) {
  struct Case {
    const char* statement;
    std::string answerFile;  // "" = nobody answers; "ESC" = the operator presses Escape
    std::string variable;
    Value result;
    std::string audit;
  };
  const Case cases[] = {
      {kMessage, "MessageBox=Cancel", "iResult", Value::Number(0),
       "Operator answer - Test message? Multi lines information - Cancel (answer-file line 1)"},
      {kMessage, "", "iResult", Value::Number(1), "Operator answer - Test message? Multi lines information - OK (headless)"},
      {R"(iResult = MessageBox(Output:"Erase?", Button:"YESNO", AutoOK:FALSE );)", "", "iResult", Value::Number(0),
       "Operator answer - Erase? - No (headless)"},
      {kMessage, "ESC", "iResult", Value::Number(0),
       "Operator answer - Test message? Multi lines information - Cancel (Escape)"},
      {kCombo, "ComboBox=CCC", "iValue", Value::Number(2), "Operator answer - Test message? - CCC (answer-file line 1)"},
      {kCombo, "", "iValue", Value::Number(1), "Operator answer - Test message? - BBB (headless)"},
      {R"(s = ComboBox(Output:"Pick", ItemList:"AAA|*BBB|CCC", Return:"String", AutoOK:TRUE );)", "ComboBox=1", "s",
       Value::Text("AAA"), "Operator answer - Pick - AAA (answer-file line 1)"},
      {kCombo, "ESC", "iValue", Value::Number(-1), "Operator answer - Test message? - none (Escape)"},
      {kNumber, "NumberBox=-77", "iValue", Value::Number(-77), "Operator answer - Number- - \"-77\" (answer-file line 1)"},
      {kNumber, "NumberBox=", "iValue", Value::Number(10), "Operator answer - Number- - \"10\" (answer-file line 1)"},
      {kNumber, "ESC", "iValue", Value::Number(0), "Operator answer - Number- - none (Escape)"},
      {kCheckList, "", "CheckListBox", Value::Text(R"("1","0","1","0")"),
       R"(Operator answer - Test item? - "1","0","1","0" (headless))"},
      {kCheckList, "CheckListBox=2,4", "CheckListBox", Value::Text(R"("0","1","0","1")"),
       R"(Operator answer - Test item? - "0","1","0","1" (answer-file line 1))"},
      {kInput, "InputBox=sn12345678", "ReturnData", Value::Text("sn12345678"),
       "Operator answer - Barcode- - \"sn12345678\" (answer-file line 1)"},
      {kInput, "", "ReturnData", Value::Text(""), "Operator answer - Barcode- - none (headless)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.statement) + " / " + c.answerFile);
    interp.view(0).cancel = false;
    interp.view(0).vars.SetText(c.variable, "stale");
    ui->replies.clear();
    if (c.answerFile == "ESC") {
      Answers("");
      ui->replies.push_back(Escape());
    } else {
      Answers(c.answerFile);
    }
    const int64_t errors = ErrorCount();
    Run(c.statement);
    EXPECT_EQ(ErrorCount(), errors);
    const Value v = Var(c.variable);
    EXPECT_EQ(v.type, c.result.type);
    EXPECT_EQ(v.number, c.result.number);
    EXPECT_EQ(v.text, c.result.text);
    EXPECT_EQ(LastAudit(), c.audit);
    EXPECT_EQ(Cancelled(), c.answerFile == "ESC");  // Escape stops the job
  }
  // The check list assigned to an array is an array.
  EXPECT_EQ(Var("iSelectList[0xEFFFFFFF]").number, 4);
  EXPECT_EQ(Var("iSelectList[1]").text, "1");
  // ShowResult prints the accepted scan in yellow.
  bool shown = false;
  for (const OutputLine& line : Lines()) shown |= line.text == "sn12345678" && line.colour == colour::kYellow;
  EXPECT_TRUE(shown);
}

// Bad parameters give -2 before any question shows.
TEST_F(DialogCommandsTest, BadParametersAreRefusedBeforeAnythingShows) {
  const std::string items256 = [] {
    std::string list = "a";
    for (int i = 1; i < 256; ++i) list += "|a";
    return list;
  }();
  const std::pair<std::string, std::string> cases[] = {
      {R"(x = ComboBox(Output:"x", ItemList:"AAA", AutoOK:TRUE );)", "ItemList must include \"|\" for split Item"},
      {R"(x = CheckListBox("x", "AAA" );)", "ItemList must include \"|\" for split Item"},
      {"x = CheckListBox(\"x\", many );", "ItemList over 255 items"},  // statements hold 250 characters
      {"x = ComboBox(Output:\"x\", ItemList:longItem );", "Item 2 over 250 characters"},
      {R"(x = InputBox( Title:"t", LenthLimit:-1 );)", "LenthLimit -1 < 0"},
      {R"(x = InputBox( Title:"t", SpecialKey:"SN123", LenthLimit:4 );)", "LenthLimit 4 shorter than SpecialKey \"SN123\""},
      {R"(x = NumberBox( "t", 123456789 );)", "Default over 8 characters"},
  };
  interp.view(0).vars.SetText("many", items256);
  interp.view(0).vars.SetText("longItem", "a|" + std::string(251, 'b'));
  for (const auto& [statement, why] : cases) {
    SCOPED_TRACE(statement);
    const int64_t errors = ErrorCount();
    Run(statement);
    EXPECT_EQ(ErrorCount(), errors + 1);
    EXPECT_TRUE(LastError().ends_with(why)) << LastError();
  }
  EXPECT_TRUE(ui->asks.empty());
}

// Answer-file lines that cannot be taken: the declining result is stored and the failure reported.
TEST_F(DialogCommandsTest, AnswerFileFailures) {
  Answers("ComboBox=1\nInputBox=SN1234567\nNumberBox=abc\n");
  interp.view(0).vars.SetNumber("iResult", 7);
  Run(kMessage);
  EXPECT_EQ(Var("iResult").number, 0);
  EXPECT_TRUE(LastError().ends_with("Answer file line 1 is for ComboBox, not MessageBox")) << LastError();
  EXPECT_EQ(LastErrorCode(), "0xFFFFFFFE") << "a line for another command: -2";
  const int64_t errors = ErrorCount();
  Run(kInput);  // a 9-character scan where 10 are needed
  EXPECT_EQ(ErrorCount(), errors + 1);
  EXPECT_TRUE(LastError().ends_with("Answer file line 2: \"SN1234567\" rejected: length 9, not 10")) << LastError();
  EXPECT_EQ(LastErrorCode(), "0xFFFFFFB7") << "a rejected scan: -73";
  EXPECT_EQ(Var("ReturnData").text, "");
  Run(kNumber);
  EXPECT_TRUE(LastError().ends_with("Answer file line 3: not a decimal number of at most 8 characters")) << LastError();
  EXPECT_EQ(Var("iValue").number, 0);
  EXPECT_FALSE(Cancelled());
}

TEST_F(DialogCommandsTest, FileSelectBox) {
  const std::string existing = dir.path() + "/fw image.bin";
  std::ofstream(existing) << "x";
  ui->replies = {Chosen(existing), Chosen(dir.path() + "/gone.bin"), Escape()};
  Run(R"(FilePath = FileSelectBox( Ext:"*.bin#FW image|*.*");)");
  ASSERT_EQ(ui->asks.size(), 1u);
  EXPECT_EQ(ui->asks[0].filters, (std::vector<Question::Filter>{{"*.bin", "FW image"}, {"*.*", "*.*"}}));
  EXPECT_EQ(Var("FilePath").text, existing);

  const int64_t errors = ErrorCount();
  Run(R"(FilePath = FileSelectBox( Ext:"*.bin");)");  // a chosen file that does not exist
  EXPECT_EQ(Var("FilePath").text, "");
  EXPECT_EQ(ErrorCount(), errors + 1);
  EXPECT_TRUE(LastError().ends_with("No Found File: " + dir.path() + "/gone.bin")) << LastError();
  EXPECT_FALSE(Cancelled());

  interp.view(0).vars.SetText("FilePath", "stale");
  Run(R"(FilePath = FileSelectBox();)");  // cancelled
  EXPECT_EQ(Var("FilePath").text, "");
  EXPECT_TRUE(Cancelled());
  EXPECT_EQ(ui->asks.back().filters, (std::vector<Question::Filter>{{"*.*", "All FW"}}));
}

// The yes/no question of other commands goes through the same Ask: with its countdown it confirms
// itself when nobody answers, without it nobody confirms anything.
TEST_F(DialogCommandsTest, YesNoAndOkCancelQuestionsOfOtherCommands) {
  EXPECT_TRUE(interp.ui().AskYesNo(0, "Update firmware?", nullptr, true));
  EXPECT_EQ(LastAudit(), "Operator answer - Update firmware? - Yes (headless)");
  EXPECT_FALSE(interp.ui().AskYesNo(0, "Delete partition?", nullptr));
  EXPECT_FALSE(interp.ui().AskOkCancel(0, "Security Erase?", nullptr));
  ui->okAnswers = {true};
  EXPECT_TRUE(interp.ui().AskOkCancel(0, "Security Erase?", nullptr));
  EXPECT_EQ(ui->asks.back().buttons, Question::Buttons::kOkCancel);
  EXPECT_FALSE(ui->asks.back().escapeCancelsJob);
  EXPECT_FALSE(ui->asks.back().windowOnly);
  // A window-only box reaches the form's Ui as such; where nobody can answer it, even its
  // countdown confirms nothing.
  ui->okAnswers = {true};
  EXPECT_TRUE(interp.ui().AskOkCancel(0, "Security Erase?", nullptr, true, true));
  EXPECT_TRUE(ui->asks.back().windowOnly);
  EXPECT_TRUE(ui->asks.back().autoOk);
  Question q = ui->asks.back();
  EXPECT_FALSE(HeadlessAnswer(q).confirmed);
  q.windowOnly = false;
  EXPECT_TRUE(HeadlessAnswer(q).confirmed);
}

// Style 31: nothing shows, every dialog stores 0 (text results "").
class HeadlessStyleTest : public DialogCommandsTest {};

TEST_F(HeadlessStyleTest, StoresZeroAndAsksNothing) {
  RunSettings s = testing::WorkFolderSettings(dir.path());
  s.style = 31;
  Interpreter headless(host, s, &console);
  headless.SetUi(ui);
  testing::ReadyForStatements(headless.view(0));
  for (const char* statement : {kMessage, kCombo, kNumber, kCheckList, kInput, R"(FilePath = FileSelectBox();)"})
    testing::RunStatement(headless, statement);
  EXPECT_TRUE(ui->asks.empty());
  EXPECT_EQ(headless.view(0).vars.Get("iResult").number, 0);
  EXPECT_EQ(headless.view(0).vars.Get("iValue").number, 0);
  EXPECT_EQ(headless.view(0).vars.Get("CheckListBox").text, "");
  EXPECT_EQ(headless.view(0).vars.Get("ReturnData").text, "");
  EXPECT_EQ(headless.view(0).vars.Get("FilePath").text, "");
  EXPECT_FALSE(headless.view(0).cancel.load());
}

}  // namespace
}  // namespace kestrune::engine
