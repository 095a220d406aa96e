// A dialog window's decisions: the countdown on the default button, the answer of every way out
// (button, countdown, Escape, cancel flag), and replies that ask again.
#include "engine/dialog_flow.h"

#include <gtest/gtest.h>

#include <atomic>

#include "support/fake_host.h"

namespace kestrune::engine {
namespace {

using Kind = Question::Kind;
using Source = Answer::Source;

Question Make(Kind kind, std::string_view items = "") {
  Question q;
  q.kind = kind;
  q.command = "Q";
  std::string why;
  if (!items.empty()) {
    EXPECT_EQ(ParseItemList(items, q.items, why), 0) << why;
  }
  return q;
}

TEST(DialogFlowTest, CountdownOnTheDefaultButtonPressesIt) {
  struct Case {
    const char* name;
    Question q;
    DialogState state;
    const char* counting;  // the caption at the start
    int32_t index;         // the answer's index (combo) or -1
  };
  Question yesNo = Make(Kind::kMessage);
  yesNo.buttons = Question::Buttons::kYesNo;
  Case cases[] = {
      {"message", Make(Kind::kMessage), {}, "OK (20)", -1},
      {"yes/no", yesNo, {}, "Yes (20)", -1},
      {"combo takes the current selection", Make(Kind::kCombo, "AAA|*BBB|CCC"), {2, {}, ""}, "OK (20)", 2},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeHost host;
    c.q.autoOk = true;
    DialogFlow flow(c.q, host);
    EXPECT_EQ(flow.DefaultCaption(), c.counting);
    EXPECT_EQ(flow.WaitMs(), 250u);
    host.Advance(1000);
    EXPECT_EQ(flow.DefaultCaption().substr(flow.DefaultCaption().size() - 4), "(19)");
    host.Advance(18'900);
    EXPECT_EQ(flow.WaitMs(), 100u);  // wakes when the caption changes
    EXPECT_FALSE(flow.Poll(c.state));
    EXPECT_EQ(flow.DefaultCaption().substr(flow.DefaultCaption().size() - 3), "(1)");
    host.Advance(100);
    ASSERT_TRUE(flow.Poll(c.state));
    EXPECT_EQ(flow.answer().source, Source::kCountdown);
    EXPECT_TRUE(flow.answer().confirmed);
    EXPECT_EQ(flow.answer().index, c.index);
  }
  testing::FakeHost host;
  DialogFlow still(Make(Kind::kMessage), host);  // without AutoOK: no countdown
  EXPECT_EQ(still.DefaultCaption(), "OK");
  host.Advance(60'000);
  EXPECT_FALSE(still.Poll({}));
}

TEST(DialogFlowTest, EveryWayOutGivesAnAnswer) {
  testing::FakeHost host;
  std::atomic<bool> cancel{false};
  Question q = Make(Kind::kCheckList, "*AAA|BBB|*CCC|DDD");
  q.cancel = &cancel;
  q.autoOk = true;
  {
    DialogFlow flow(q, host);
    ASSERT_TRUE(flow.Press(true, {-1, {false, true, true, false}, ""}));
    EXPECT_EQ(flow.answer().checks, (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(flow.answer().source, Source::kOperator);
    flow.Escape();  // a late Escape does not change a given answer
    EXPECT_EQ(flow.answer().source, Source::kOperator);
  }
  {
    DialogFlow flow(q, host);
    flow.Escape();
    ASSERT_TRUE(flow.done());
    EXPECT_EQ(flow.answer().source, Source::kEscape);
    EXPECT_FALSE(flow.answer().confirmed);
    EXPECT_EQ(flow.answer().checks, std::vector<bool>(4, false));
  }
  {
    DialogFlow flow(q, host);
    EXPECT_FALSE(flow.Poll({}));
    cancel = true;  // the job was stopped while the window shows: it closes declining
    ASSERT_TRUE(flow.Poll({}));
    EXPECT_EQ(flow.answer().source, Source::kEscape);
    EXPECT_FALSE(flow.answer().confirmed);
  }
  Question message = Make(Kind::kMessage);
  DialogFlow cancelButton(message, host);
  ASSERT_TRUE(cancelButton.Press(false, {}));
  EXPECT_FALSE(cancelButton.answer().confirmed);
  EXPECT_EQ(cancelButton.answer().source, Source::kOperator);  // Cancel declines but is no Escape
}

TEST(DialogFlowTest, FieldsThatDoNotFitAskAgain) {
  struct Step {
    const char* field;
    bool accepted;
    const char* text;  // accepted: the answer's text; else a part of why
    bool cleared;
  };
  struct Case {
    const char* name;
    Question q;
    std::vector<Step> steps;
  };
  Question number = Make(Kind::kNumber);
  number.initial = "10";
  number.maxChars = 8;
  Question scan = Make(Kind::kInput);
  scan.lengthLimit = 10;
  scan.initial = "PRESET";
  Question keyed = Make(Kind::kInput);
  keyed.specialKey = "SN";
  Question any = Make(Kind::kInput);
  any.initial = "x";
  Case cases[] = {
      {"number",
       number,
       {{"abc", false, "not a decimal number", false},
        {"", false, "not a decimal number", false},
        {"123456789", false, "at most 8", false},
        {" 42 ", true, "42", false}}},
      {"length limit 10",
       scan,
       {{"123456789\r\n", false, "length 9, not 10", true}, {"1234567890\r\n", true, "1234567890", false}}},
      {"special key", keyed, {{"XY1\n", false, "does not begin with \"SN\"", true}, {"sn77\r\n", true, "sn77", false}}},
      {"a cleared field is an empty answer", any, {{"\r\n", true, "", false}}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeHost host;
    c.q.autoOk = c.q.kind == Kind::kNumber;
    DialogFlow flow(c.q, host);
    uint32_t refused = 0;
    for (const Step& s : c.steps) {
      SCOPED_TRACE(s.field);
      DialogState state;
      state.field = s.field;
      ASSERT_EQ(flow.Press(true, state), s.accepted) << flow.why();
      EXPECT_EQ(flow.clearField(), s.cleared);
      if (s.accepted) {
        EXPECT_EQ(flow.answer().text, s.text);
        EXPECT_TRUE(flow.answer().confirmed);
      } else {
        EXPECT_NE(flow.why().find(s.text), std::string::npos) << flow.why();
        EXPECT_EQ(flow.refusals(), ++refused);
        EXPECT_EQ(flow.DefaultCaption(), "OK");  // a refused reply stops the countdown
        host.Advance(30'000);
        EXPECT_FALSE(flow.Poll(state));
      }
    }
  }
}

TEST(DialogFlowTest, CountdownOverAFieldThatDoesNotFitWaitsForTheOperator) {
  testing::FakeHost host;
  Question q = Make(Kind::kNumber);
  q.initial = "10";
  q.maxChars = 8;
  q.autoOk = true;
  DialogFlow flow(q, host);
  host.Advance(20'000);
  EXPECT_FALSE(flow.Poll({-1, {}, "1x"}));
  EXPECT_NE(flow.why().find("not a decimal number"), std::string::npos);
  EXPECT_FALSE(flow.Poll({-1, {}, "1x"}));
  ASSERT_TRUE(flow.Press(true, {-1, {}, "7"}));
  EXPECT_EQ(flow.answer().text, "7");
  EXPECT_EQ(flow.answer().source, Source::kOperator);
}

}  // namespace
}  // namespace kestrune::engine
