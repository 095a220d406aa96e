#include "engine/variables.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/expression.h"
#include "recording_sink.h"

namespace kestrune::engine {
namespace {

using Reports = std::vector<std::pair<int32_t, std::string>>;

class VariablesTest : public ::testing::Test {
 protected:
  void Assign(std::string_view statement) { RunAssignment(vars, sink, statement); }
  void Increment(std::string_view statement) {
    ASSERT_TRUE(IsIncrementStatement(statement)) << statement;
    RunIncrement(vars, sink, statement);
  }
  Value Read(std::string_view text) { return ReadValue(vars, sink, text); }
  std::optional<int64_t> Length(std::string_view array) { return ArrayLength(vars, sink, array); }

  VarList vars;
  RecordingSink sink;
};

TEST_F(VariablesTest, StoreIgnoresCaseAndBoundsTexts) {
  vars.SetNumber("Count", 1);
  vars.SetText("COUNT", std::string(1100, 'a') + "\xC3\xA9");  // same variable, cut to capacity
  ASSERT_EQ(vars.Size(), 1u);
  EXPECT_EQ(vars.Items()[0].name, "Count");
  EXPECT_EQ(vars.Get("count").text, std::string(kMaxTextChars, 'a'));
  vars.SetText("u", std::string(1022, 'a') + "\xC3\xA9\xC3\xA9");  // never cut inside a character
  EXPECT_EQ(vars.Get("u").text, std::string(1022, 'a') + "\xC3\xA9");
}

TEST_F(VariablesTest, RenameReplacesAnExistingTarget) {
  vars.SetNumber("a", 1);
  vars.SetNumber("b", 2);
  EXPECT_TRUE(vars.Rename("A", "b"));
  EXPECT_EQ(vars.Size(), 1u);
  EXPECT_EQ(vars.Get("B").number, 1);
  EXPECT_FALSE(vars.Rename("a", "c"));
}

TEST_F(VariablesTest, StoreIsBounded) {
  for (size_t k = 0; k < VarList::kMaxVariables; ++k) ASSERT_TRUE(vars.SetNumber("v" + std::to_string(k), 0));
  EXPECT_TRUE(vars.SetNumber("v0", 5));  // existing names still update
  Assign("extra = 1;");
  EXPECT_EQ(vars.Size(), VarList::kMaxVariables);
  EXPECT_EQ(sink.reports, (Reports{{-2, "Too many variables: extra"}}));
}

TEST_F(VariablesTest, FreshNamesWrapAfter999) {
  std::set<std::string> names;
  for (int k = 0; k < 1000; ++k) names.insert(NextFreshName());
  EXPECT_EQ(names.size(), 1000u);
  EXPECT_TRUE(names.count("_Varible0") && names.count("_Varible999") && names.count(NextFreshName()));
}

TEST_F(VariablesTest, ListAssignmentBuildsArray) {
  Assign("A[] = 1, 2, \"x,y\";");
  EXPECT_EQ(Read("A[0]").number, 1);
  EXPECT_EQ(Read("A[2]").text, "x,y");
  EXPECT_EQ(Length(Read("A[]").text), 3);
  vars.SetNumber("i", 1);
  EXPECT_EQ(Read("a[ i ]").number, 2);
  EXPECT_EQ(Read("A[0x2]").text, "x,y");
  EXPECT_EQ(Read("B[0]").text, "");  // never assigned: empty, silently
  EXPECT_TRUE(sink.reports.empty());
  EXPECT_TRUE(Read("A[5]").IsNone());
  EXPECT_EQ(Length("plain"), 0);
  EXPECT_FALSE(Length("Q[]"));
  EXPECT_EQ(sink.reports, (Reports{{-25, "A[5]"}, {-25, "No Found Array"}}));
}

TEST_F(VariablesTest, ListFromCommandResult) {
  vars.SetText("StrSplit", "\"AB\",\"CD\",\"EF\"");
  Assign("AA[] = StrSplit;");
  EXPECT_EQ(Read("AA[2]").text, "EF");
  vars.SetText("DiskList", "");  // an empty list result is an empty array
  Assign("D[] = DiskList;");
  EXPECT_EQ(Length("D[]"), 0);
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(VariablesTest, AShorterListLeavesTheHigherElements) {
  Assign("A[] = 1, 2, 3, 4;");
  Assign("A[] = 9,,3;");  // an empty item is read like any other
  EXPECT_EQ(Length("A[]"), 3);
  EXPECT_EQ(Read("A[0]").number, 9);
  EXPECT_EQ(Read("A[3]").number, 4);  // left from the longer list
  EXPECT_EQ(sink.reports, (Reports{{-25, ""}}));
}

TEST_F(VariablesTest, AListHasAtMost50ItemsTheLastTakingTheRest) {
  // Quoted items, as StrSplit gives them: the rest after the 49th comma is one quoted text.
  auto list = [](int count) {
    std::string text;
    for (int k = 0; k < count; ++k) text += (k ? ",\"" : "\"") + std::to_string(k) + "\"";
    return text;
  };
  for (int items : {50, 51, 60}) {
    // A[49] holds items 49 and up as the list wrote them, less the outer quotes.
    std::string last = "49";
    for (int k = 50; k < items; ++k) last += "\",\"" + std::to_string(k);
    vars.Clear();
    Assign("A[] = " + list(items) + ";");
    EXPECT_EQ(Length("A[]"), 50) << items;
    EXPECT_EQ(Read("A[48]").text, "48") << items;
    EXPECT_EQ(Read("A[49]").text, last) << items;
    EXPECT_EQ(vars.Find("A[50]"), nullptr) << items;
  }
  EXPECT_TRUE(sink.reports.empty());
  std::string numbers;
  for (int k = 0; k < 49; ++k) numbers += std::to_string(k) + ",";
  Assign("N[] = " + numbers + "49, 50, 51;");
  EXPECT_EQ(sink.reports, (Reports{{-25, "49, 50, 51"}}));  // the rest is one item, and no number
  EXPECT_EQ(Length("N[]"), 50);
}

TEST_F(VariablesTest, ElementAssignment) {
  vars.SetNumber("i", 2);
  Assign("A[i] = 7;");
  Assign("A[0x3] = i * 2;");
  EXPECT_EQ(vars.Get("A[2]").number, 7);
  EXPECT_EQ(vars.Get("A[3]").number, 4);
  EXPECT_EQ(Read("A[2]").text, "") << "an array no list has given a length reads empty";
  EXPECT_TRUE(sink.reports.empty());
  EXPECT_FALSE(Length("A[]")) << "writing elements sets no length";
  Assign("A[] = 1;");
  Assign("A[5] = 8;");
  EXPECT_EQ(Length("A[]"), 1) << "only a list sets the length";
  EXPECT_EQ(Read("A[2]").number, 7);
  EXPECT_EQ(Read("A[5]").number, 8);
  EXPECT_EQ(sink.reports, (Reports{{-25, "No Found Array"}}));

  const std::pair<const char*, int32_t> failures[] = {
      {"A[65536] = 1;", -2}, {"A[-1] = 1;", -2}, {"A[0x100000000] = 1;", -2},  // must not wrap to A[0]
      {"A[99999999999999999999] = 1;", -25}, {"A[k] = 1;", -25},
  };
  for (const auto& [statement, code] : failures) {
    sink.reports.clear();
    size_t before = vars.Size();
    Assign(statement);
    EXPECT_EQ(vars.Size(), before) << statement;
    ASSERT_EQ(sink.reports.size(), 1u) << statement;
    EXPECT_EQ(sink.reports[0].first, code) << statement;
  }
}

TEST_F(VariablesTest, AssignmentForms) {
  Assign("y = 1 + 2 == 3;");  // arithmetic inside a condition is one operand
  Assign("z = \"a;b\" + 1;");
  EXPECT_EQ(vars.Get("z").text, "a;b1");
  Assign(" = 5;");
  EXPECT_EQ(sink.reports, (Reports{{-25, "1 + 2"}, {-16, "= 5;"}}));
}

TEST_F(VariablesTest, Increments) {
  Assign("i = 0;");
  for (const char* s : {"i++;", "i++;", "I++;"}) Increment(s);
  EXPECT_EQ(vars.Get("i").number, 3);
  Increment("i += 0x10;");
  EXPECT_EQ(vars.Get("i").type, ValueType::kNumber);
  EXPECT_EQ(vars.Get("i").number, 19);
  Increment("i -= 20;");
  Increment("i--;");
  EXPECT_EQ(vars.Get("i").number, -2);
  Assign("h = 0x10;");
  Increment("h++;");
  EXPECT_EQ(vars.Get("h").type, ValueType::kHex);
  EXPECT_EQ(vars.Get("h").number, 0x11);
  Assign("A[] = 5, 6;");
  Increment("A[0x1]++;");
  EXPECT_EQ(Read("A[1]").number, 7);
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(VariablesTest, IncrementFailures) {
  vars.SetNumber("i", 5);
  vars.SetText("s", "x");
  const std::pair<const char*, Reports> cases[] = {
      {"i += j;", {{-2, "j"}}}, {"i += 1", {}},  // without ";" nothing happens
      {"s++;", {{-26, "s"}}},   {"n++;", {{-25, "n"}}},
  };
  for (const auto& [statement, reports] : cases) {
    sink.reports.clear();
    Increment(statement);
    EXPECT_EQ(sink.reports, reports) << statement;
  }
  EXPECT_EQ(vars.Get("i").number, 5);
  EXPECT_FALSE(IsIncrementStatement("x = \"a++\";"));
}

}  // namespace
}  // namespace kestrune::engine
