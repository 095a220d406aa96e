// The portable half of the operator questions: item lists, file filters, the InputBox rules, replies
// as typed or written in an answer file, the countdown, the audit line and the answer file itself.
#include "engine/operator_question.h"

#include <gtest/gtest.h>

#include "base/completion_codes.h"
#include "engine/operator_ui.h"
#include "support/fake_host.h"

namespace kestrune::engine {
namespace {

namespace code = base::code;
using Item = Question::Item;
using Kind = Question::Kind;
using Source = Answer::Source;

TEST(OperatorQuestionTest, ItemLists) {
  struct Case {
    std::string list;
    int32_t code;
    std::vector<Item> items;
    std::string why;
  };
  const std::string long250(250, 'x');
  std::string items255 = "a";
  for (int i = 1; i < 255; ++i) items255 += "|a";
  const Case cases[] = {
      {"AAA|*BBB|CCC", 0, {{"AAA", false}, {"BBB", true}, {"CCC", false}}, ""},
      {"*AAA|BBB|*CCC|DDD", 0, {{"AAA", true}, {"BBB", false}, {"CCC", true}, {"DDD", false}}, ""},
      {"|*", 0, {{"", false}, {"", true}}, ""},  // empty items show blank
      {"A**|**B", 0, {{"A**", false}, {"*B", true}}, ""},
      {"AAA", code::kBadParameter, {}, "ItemList must include \"|\" for split Item"},
      {"", code::kBadParameter, {}, "ItemList must include \"|\" for split Item"},
      {long250 + "|*" + long250, 0, {{long250, false}, {long250, true}}, ""},
      {"a|" + long250 + "y", code::kBadParameter, {}, "Item 2 over 250 characters"},
      {items255 + "|a", code::kBadParameter, {}, "ItemList over 255 items"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list.substr(0, 40));
    std::vector<Item> items;
    std::string why;
    EXPECT_EQ(ParseItemList(c.list, items, why), c.code);
    EXPECT_EQ(why, c.why);
    if (c.code == 0) EXPECT_EQ(items, c.items);
  }
  std::vector<Item> items;
  std::string why;
  EXPECT_EQ(ParseItemList(items255, items, why), 0);
  EXPECT_EQ(items.size(), 255u);
  // Characters, not bytes: 250 two-byte characters are one item.
  std::string wide;
  for (int i = 0; i < 250; ++i) wide += "\xC3\xA9";
  EXPECT_EQ(ParseItemList(wide + "|b", items, why), 0);
}

TEST(OperatorQuestionTest, FileFilters) {
  using F = Question::Filter;
  EXPECT_EQ(ParseFileFilters("*.*#All FW"), (std::vector<F>{{"*.*", "All FW"}}));
  EXPECT_EQ(ParseFileFilters("*.bin#FW image| *.img |"), (std::vector<F>{{"*.bin", "FW image"}, {"*.img", "*.img"}}));
  EXPECT_EQ(ParseFileFilters(""), (std::vector<F>{{"*.*", "*.*"}}));
  std::string twelve;
  for (int i = 0; i < 12; ++i) twelve += "*." + std::to_string(i) + "|";
  const auto filters = ParseFileFilters(twelve);
  ASSERT_EQ(filters.size(), 10u);  // the first 10
  EXPECT_EQ(filters.back().pattern, "*.9");
}

TEST(OperatorQuestionTest, InputBoxRules) {
  std::string why;
  EXPECT_EQ(CheckInputRules("", 0, why), 0);
  EXPECT_EQ(CheckInputRules("SN", 10, why), 0);
  EXPECT_EQ(CheckInputRules("SN", 2, why), 0);
  EXPECT_EQ(CheckInputRules("", -1, why), code::kBadParameter);
  EXPECT_EQ(why, "LenthLimit -1 < 0");
  EXPECT_EQ(CheckInputRules("SN12", 3, why), code::kBadParameter);
  EXPECT_EQ(why, "LenthLimit 3 shorter than SpecialKey \"SN12\"");

  Question q;
  q.kind = Kind::kInput;
  q.lengthLimit = 10;
  q.specialKey = "sn";
  EXPECT_EQ(InputRejection(q, "SN12345678"), "");  // the key in any case
  EXPECT_EQ(InputRejection(q, "SN1234567"), "length 9, not 10");
  EXPECT_EQ(InputRejection(q, "XX12345678"), "does not begin with \"sn\"");
}

Question Combo() {
  Question q;
  q.kind = Kind::kCombo;
  q.command = "ComboBox";
  q.text = "Test message?";
  q.items = {{"AAA", false}, {"BBB", true}, {"CCC", false}};
  return q;
}

// Every kind's replies: what is taken, what asks again, and Escape.
TEST(OperatorQuestionTest, Replies) {
  Question ok;
  ok.buttons = Question::Buttons::kOkCancel;
  Question yesNo;
  yesNo.buttons = Question::Buttons::kYesNo;
  Question single;
  single.buttons = Question::Buttons::kOk;
  Question number;
  number.kind = Kind::kNumber;
  number.initial = "10";
  number.maxChars = kNumberBoxChars;
  Question checks;
  checks.kind = Kind::kCheckList;
  checks.items = {{"AAA", true}, {"BBB", false}, {"CCC", true}, {"DDD", false}};
  Question input;
  input.kind = Kind::kInput;
  input.lengthLimit = 4;
  input.initial = "AB12";
  Question file;
  file.kind = Kind::kFile;

  enum class Out { kTaken, kAgain, kEscape };
  struct Case {
    const Question* q;
    std::string typed;
    Out out;
    bool confirmed = false;
    int32_t index = -1;
    std::string text;
    Source source = Source::kOperator;
  };
  const Question combo = Combo();
  const Case cases[] = {
      {&ok, "", Out::kTaken, true, -1, "", Source::kDefault},
      {&ok, " ok ", Out::kTaken, true},
      {&ok, "Cancel", Out::kTaken, false},
      {&ok, "0", Out::kTaken, false},
      {&ok, "yes", Out::kAgain},
      {&yesNo, "Y", Out::kTaken, true},
      {&yesNo, "no", Out::kTaken, false},
      {&single, "Cancel", Out::kAgain},
      {&ok, "\x1b", Out::kEscape, false, -1, "", Source::kEscape},
      {&combo, "", Out::kTaken, true, 1, "", Source::kDefault},
      {&combo, "3", Out::kTaken, true, 2},
      {&combo, "aaa", Out::kTaken, true, 0},
      {&combo, "4", Out::kAgain},
      {&combo, "DDD", Out::kAgain},
      {&number, "", Out::kTaken, true, -1, "10", Source::kDefault},
      {&number, " -42 ", Out::kTaken, true, -1, "-42"},
      {&number, "abc", Out::kAgain},
      {&number, "12abc", Out::kAgain},
      {&number, "123456789", Out::kAgain},  // over the 8 characters of the field
      {&input, "", Out::kTaken, true, -1, "AB12", Source::kDefault},
      {&input, "XY99\r", Out::kTaken, true, -1, "XY99"},
      {&input, "XY9", Out::kAgain},
      {&file, "\"/data/fw 1.bin\"", Out::kTaken, true, -1, "/data/fw 1.bin"},
      {&file, "", Out::kEscape, false, -1, "", Source::kEscape},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.q->kind) << " \"" << c.typed << "\"");
    const Reply r = InterpretReply(*c.q, c.typed, Source::kOperator);
    const Out out = r.outcome == Reply::Outcome::kAnswer ? Out::kTaken
                    : r.outcome == Reply::Outcome::kAgain ? Out::kAgain
                                                          : Out::kEscape;
    ASSERT_EQ(out, c.out) << r.why;
    if (out == Out::kAgain) {
      EXPECT_FALSE(r.why.empty());
      continue;
    }
    EXPECT_EQ(r.answer.confirmed, c.confirmed);
    EXPECT_EQ(r.answer.source, c.source);
    if (c.q->kind == Kind::kCombo) EXPECT_EQ(r.answer.index, c.index);
    if (c.q->kind == Kind::kNumber || c.q->kind == Kind::kInput || c.q->kind == Kind::kFile)
      EXPECT_EQ(r.answer.text, c.text);
  }
  EXPECT_TRUE(InterpretReply(input, "XY9", Source::kOperator).rejectedScan);
  EXPECT_FALSE(InterpretReply(number, "abc", Source::kOperator).rejectedScan);

  // Check lists: unchanged, item numbers, all and none.
  struct CheckCase {
    std::string typed;
    std::string result;
  };
  for (const CheckCase& c : {CheckCase{"", "\"1\",\"0\",\"1\",\"0\""}, CheckCase{"2 4", "\"0\",\"1\",\"0\",\"1\""},
                             CheckCase{"1,2,", "\"1\",\"1\",\"0\",\"0\""}, CheckCase{"ALL", "\"1\",\"1\",\"1\",\"1\""},
                             CheckCase{"none", "\"0\",\"0\",\"0\",\"0\""}}) {
    const Reply r = InterpretReply(checks, c.typed, Source::kAnswerFile);
    ASSERT_EQ(r.outcome, Reply::Outcome::kAnswer) << c.typed;
    EXPECT_EQ(CheckListText(r.answer.checks), c.result) << c.typed;
    EXPECT_EQ(r.answer.source, Source::kAnswerFile);
  }
  EXPECT_EQ(InterpretReply(checks, "5", Source::kOperator).outcome, Reply::Outcome::kAgain);
}

TEST(OperatorQuestionTest, DefaultDecliningAndHeadlessAnswers) {
  Question q = Combo();
  EXPECT_EQ(DefaultAnswer(q, Source::kCountdown).index, 1);
  EXPECT_EQ(DecliningAnswer(q, Source::kEscape).index, -1);
  EXPECT_EQ(HeadlessAnswer(q).index, -1);
  q.autoOk = true;
  const Answer a = HeadlessAnswer(q);
  EXPECT_TRUE(a.confirmed);
  EXPECT_EQ(a.index, 1);
  EXPECT_EQ(a.source, Source::kHeadless);
  q.items[1].marked = false;
  EXPECT_EQ(DefaultAnswer(q, Source::kCountdown).index, 0);  // no mark: the first
}

TEST(OperatorQuestionTest, AuditLineEchoesWithoutColons) {
  Question q = Combo();
  q.text = "Station: A\nLine 2";
  Answer a = DefaultAnswer(q, Source::kAnswerFile);
  a.answerLine = 3;
  EXPECT_EQ(AuditLine(q, a), "Operator answer - Station- A Line 2 - BBB (answer-file line 3)");
  q.items[1].text = "x:y";
  EXPECT_EQ(AuditLine(q, DecliningAnswer(q, Source::kEscape)), "Operator answer - Station- A Line 2 - none (Escape)");
  EXPECT_EQ(AuditLine(q, DefaultAnswer(q, Source::kCountdown)), "Operator answer - Station- A Line 2 - x-y (countdown)");
  Question file;
  file.kind = Kind::kFile;
  file.command = "FileSelectBox";
  EXPECT_EQ(AuditLine(file, HeadlessAnswer(file)), "Operator answer - FileSelectBox - none (headless)");
}

TEST(OperatorQuestionTest, CountdownRunsOnTheHostsClock) {
  testing::FakeHost host;
  host.monotonic = 5000;
  Countdown c(host);
  EXPECT_EQ(c.SecondsLeft(), 20);
  EXPECT_EQ(c.MsToNextChange(), 1000u);
  host.Advance(1);
  EXPECT_EQ(c.SecondsLeft(), 20);
  EXPECT_EQ(c.MsToNextChange(), 999u);
  host.Advance(999);
  EXPECT_EQ(c.SecondsLeft(), 19);
  host.Advance(18'500);
  EXPECT_EQ(c.SecondsLeft(), 1);
  EXPECT_EQ(c.MsToNextChange(), 500u);
  EXPECT_FALSE(c.Expired());
  host.Advance(500);
  EXPECT_TRUE(c.Expired());
  EXPECT_EQ(c.MsToNextChange(), 0u);
}

TEST(AnswerFileTest, LinesInOrderAndRefusedLines) {
  std::string why;
  auto file = AnswerFile::Parse("\xEF\xBB\xBFMessageBox=OK\r\n\r\nInputBox= SN 12 \nComboBox=\n", why);
  ASSERT_TRUE(file) << why;
  ASSERT_EQ(file->lines.size(), 3u);
  EXPECT_EQ(file->lines[0].command, "MessageBox");
  EXPECT_EQ(file->lines[1].number, 3u);
  EXPECT_EQ(file->lines[1].reply, " SN 12 ");  // blanks may belong to a scan
  EXPECT_EQ(file->lines[2].reply, "");
  EXPECT_FALSE(AnswerFile::Parse("MessageBox=OK\nno equals sign\n", why));
  EXPECT_EQ(why, "line 2 is not Command=answer: no equals sign");
  EXPECT_FALSE(AnswerFile::Load("/nonexistent/answers.txt", why));
  EXPECT_EQ(why, "cannot read the answer file /nonexistent/answers.txt");
}

// A Ui that must not be asked: the answer file answers first.
class NobodyUi final : public Ui {
 public:
  int asked = 0;
  Answer Ask(uint32_t, const Question& q) override {
    ++asked;
    return HeadlessAnswer(q);
  }
  std::optional<std::string> ChooseFile(uint32_t, const FileChoice&) override { return std::nullopt; }
  void ShowStatus(uint32_t, std::string_view) override {}
  void ShowProgress(uint32_t, int64_t, int64_t) override {}
  bool RedirectConsole(const std::string&, bool) override { return false; }
};

TEST(AnswerFileTest, OperatorUiAnswersFromTheFileThenAsksAndAuditsEveryQuestion) {
  std::string why;
  auto file = AnswerFile::Parse("ComboBox=CCC\nMessageBox=maybe\nComboBox=2\nInputBox=SN1\n", why);
  ASSERT_TRUE(file);
  auto inner = std::make_shared<NobodyUi>();
  std::vector<std::string> audit;
  OperatorUi ui(inner, *file, [&audit](uint32_t, std::string_view line) { audit.emplace_back(line); });

  Answer a = ui.Ask(0, Combo());
  EXPECT_EQ(a.index, 2);
  EXPECT_EQ(a.failure, 0);
  Question box;
  box.command = "MessageBox";
  box.text = "Erase?";
  a = ui.Ask(0, box);  // an answer no button gives
  EXPECT_EQ(a.failure, code::kBadParameter);
  EXPECT_FALSE(a.confirmed);
  EXPECT_EQ(a.failureText, "Answer file line 2: answer OK or Cancel");
  a = ui.Ask(0, box);  // a line for another command
  EXPECT_EQ(a.failure, code::kBadParameter);
  EXPECT_EQ(a.failureText, "Answer file line 3 is for ComboBox, not MessageBox");
  Question scan;
  scan.kind = Kind::kInput;
  scan.command = "InputBox";
  scan.text = "Barcode:";
  scan.lengthLimit = 10;
  a = ui.Ask(0, scan);
  EXPECT_EQ(a.failure, code::kAutoBarcodeError);
  EXPECT_EQ(a.text, "");
  EXPECT_EQ(inner->asked, 0);
  ui.AskOkCancel(0, "Erase?", nullptr);  // the file is used up: the form's Ui is asked
  EXPECT_EQ(inner->asked, 1);
  EXPECT_EQ(audit, (std::vector<std::string>{
                       "Operator answer - Test message? - CCC (answer-file line 1)",
                       "Operator answer - Erase? - Cancel (answer-file line 2)",
                       "Operator answer - Erase? - Cancel (answer-file line 3)",
                       "Operator answer - Barcode- - none (answer-file line 4)",
                       "Operator answer - Erase? - Cancel (headless)",
                   }));
}

}  // namespace
}  // namespace kestrune::engine
