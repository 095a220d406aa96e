#include "engine/expression.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "engine/literals.h"
#include "recording_sink.h"

namespace kestrune::engine {
namespace {

using Reports = std::vector<std::pair<int32_t, std::string>>;
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(LiteralTest, NumberLiterals) {
  struct Case {
    const char* text;
    ValueType type;  // kNone: no literal
    int64_t value;
  } const cases[] = {
      {"42", ValueType::kNumber, 42},     {"-7", ValueType::kNumber, -7},   {"007", ValueType::kNumber, 7},
      {"2.5", ValueType::kNumber, 2},     {"0x1f", ValueType::kHex, 31},    {"0XFFFFFFFFFFFFFFFF", ValueType::kHex, -1},
      {"-9223372036854775808", ValueType::kNumber, kMin},
      {"9223372036854775808", ValueType::kNone, 0},  {"0x10000000000000000", ValueType::kNone, 0},
      {"+5", ValueType::kNone, 0},        {"1.2.3", ValueType::kNone, 0},   {".5", ValueType::kNone, 0},
      {"0x", ValueType::kNone, 0},        {"0x1g", ValueType::kNone, 0},    {"12a", ValueType::kNone, 0},
  };
  for (const Case& c : cases) {
    Value v = ParseNumberLiteral(c.text).value_or(Value::None());
    EXPECT_EQ(v.type, c.type) << c.text;
    EXPECT_EQ(v.number, c.value) << c.text;
  }
}

TEST(LiteralTest, Converters) {
  EXPECT_EQ(ToUnsigned32(Value::Hex(0xFFFFFFFF)), 0xFFFFFFFFu);
  EXPECT_FALSE(ToUnsigned32(Value::Number(0x100000000)) || ToUnsigned32(Value::Number(-1)) ||
               ToUnsigned32(Value::Text("5")));
  EXPECT_EQ(ToText(Value::Hex(-1)), "0xFFFFFFFFFFFFFFFF");
  EXPECT_TRUE(ToBoolean(Value::Text("is true")) && ToBoolean(Value::Text("12")));
  EXPECT_FALSE(ToBoolean(Value::Text("-3")) || ToBoolean(Value::Number(0)));
}

class ExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vars.SetNumber("a", 4);
    vars.SetNumber("h", 0x10, ValueType::kHex);
    vars.SetText("s", "abc");
    vars.SetNumber("i", 1);
    vars.SetNumber("min", kMin);
    vars.SetNumber("minus1", -1);
  }
  Value Eval(std::string_view text) {
    vars.SetText("x", "unchanged");
    EvaluateExpression(vars, sink, text, "x");
    return vars.Get("x");
  }
  Value Cond(std::string_view text) {
    vars.SetText("c", "unchanged");
    EvaluateCondition(vars, sink, text, "c");
    return vars.Get("c");
  }

  VarList vars;
  RecordingSink sink;
};

TEST_F(ExpressionTest, ReadValueOrder) {
  EXPECT_EQ(ReadValue(vars, sink, " TRUE ").number, 1);
  EXPECT_EQ(ReadValue(vars, sink, "\"a+b\"").text, "a+b");
  EXPECT_EQ(ReadValue(vars, sink, "0x10").type, ValueType::kHex);
  EXPECT_EQ(ReadValue(vars, sink, "S").text, "abc");  // names ignore case
  EXPECT_EQ(ReadValue(vars, sink, "\"" + std::string(300, 'q') + "\"").text.size(), 300u);
  EXPECT_EQ(ReadValue(vars, sink, "\"" + std::string(2000, 'q') + "\"").text.size(), kMaxQuotedChars);
  EXPECT_TRUE(ReadValue(vars, sink, "_ErrorSkip").IsNone());
  EXPECT_TRUE(ReadValue(vars, sink, "Copy_FThread3").IsNone());
  EXPECT_TRUE(ReadValue(vars, sink, "nothing").IsNone());
  EXPECT_EQ(sink.reports, (Reports{{-25, "nothing"}}));
}

TEST_F(ExpressionTest, ArithmeticIsLeftToRight) {
  struct Case {
    const char* text;
    ValueType type;
    int64_t value;
  } const cases[] = {
      {"1 + 2 * 3", ValueType::kNumber, 9},    {"7 / 2", ValueType::kNumber, 3},
      {"-7 / 2", ValueType::kNumber, -3},      {"7 % 3", ValueType::kNumber, 1},
      {"0x10 + 1", ValueType::kHex, 0x11},     {"1 + h - 0x10", ValueType::kHex, 1},
      {"2 * -1", ValueType::kNumber, -1},      // "-" after an operator is no sign: (2*0)-1
      {"(1+2)", ValueType::kNumber, 3},        {"a + 1; 5", ValueType::kNumber, 5},
      {"9223372036854775807 + 1", ValueType::kNumber, kMin},  // wraps
      {"min / minus1", ValueType::kNumber, kMin},             // wraps instead of trapping
      {"min % minus1", ValueType::kNumber, 0},
  };
  for (const Case& c : cases) {
    Value v = Eval(c.text);
    EXPECT_EQ(v.type, c.type) << c.text;
    EXPECT_EQ(v.number, c.value) << c.text;
  }
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(ExpressionTest, TextConcatenation) {
  const std::pair<const char*, const char*> cases[] = {
      {"\"ab\" + 1", "ab1"}, {"5 + \"x\"", "5x"},     {"0 + \"x\"", "x"},       {"s + 5", "abc5"},
      {"h + \"!\"", "0x10!"}, {"\"a\" + h", "a0x10"}, {"\"x;y\" + \"z\"", "x;yz"}, {"\"a=b\" + 1", "a=b1"},
  };
  for (const auto& [text, result] : cases) EXPECT_EQ(Eval(text).text, result) << text;
  EXPECT_TRUE(sink.reports.empty());
  vars.SetText("long", std::string(1000, 'a'));
  EXPECT_EQ(Eval("long + s + s + s + s + s + s + s + s + s + s").text.size(), kMaxTextChars);
}

TEST_F(ExpressionTest, FailuresLeaveTargetUnchanged) {
  const std::pair<const char*, Reports> cases[] = {
      {"\"a\" - 1", {{-26, "1"}}},         {"5 - \"x\"", {{-26, "\"x\""}}}, {"s * 2", {{-26, "2"}}},
      {"5 % 0", {{-26, "Divide By 0"}}}, {"h / i / 0", {{-26, "Divide By 0"}}},
  };
  for (const auto& [text, reports] : cases) {
    sink.reports.clear();
    EXPECT_EQ(Eval(text).text, "unchanged") << text;
    EXPECT_EQ(sink.reports, reports) << text;
  }
}

TEST_F(ExpressionTest, MissingOperandsReportAndCountAsZero) {
  EXPECT_EQ(Eval("nope + 2").number, 2);
  EXPECT_EQ(Eval("3 +").number, 3);  // the empty last operand is read, and reported
  EXPECT_EQ(sink.reports, (Reports{{-25, "nope"}, {-25, ""}}));
}

TEST_F(ExpressionTest, Conditions) {
  const std::pair<const char*, int64_t> cases[] = {
      {"a == 4", 1}, {"a != 4", 0}, {"a < 5", 1},  {"a > 5", 0},  {"a <= 4", 1},
      {"a >= 5", 0}, {"h == 16", 1}, {"-1 < 0", 1}, {"1 && 0", 0}, {"0 || 2", 1},
      {"a", 1},      {"0", 0},      {"\"abc\" == \"ABC\"", 1},    {"s != \"abd\"", 1},
      {"a == 4 && i == 1", 1},  // no precedence: ((a==4) && i) == 1
      {"a == 4 && a == 4", 0},  // ((a==4) && a) == 4
      {"4 > 3 > 2", 0},
  };
  for (const auto& [text, result] : cases) {
    Value v = Cond(text);
    EXPECT_EQ(v.type, ValueType::kNumber) << text;
    EXPECT_EQ(v.number, result) << text;
  }
  EXPECT_EQ(Eval("a == 4").number, 1);  // an expression with a comparison is a condition
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(ExpressionTest, ConditionFailures) {
  struct Case {
    const char* text;
    const char* stored;
    Reports reports;
  } const cases[] = {
      {"\"abc\" > \"abd\"", "0", {{-27, "\"abc\" > \"abd\""}}},
      {"s == 1", "0", {{-27, "s == 1"}}},
      {"a = 4", "1", {{-27, "a = 4"}}},  // a lone "=" is no operator; the fold goes on with a
      {"a ! 4", "1", {{-27, "a ! 4"}}},
      {"s", "unchanged", {{-27, "s"}}},
      {"missing == 0", "1", {{-25, "missing"}}},
      {"Job_FThread1 == 0", "1", {}},
  };
  for (const Case& c : cases) {
    sink.reports.clear();
    EXPECT_EQ(DisplayText(Cond(c.text)), c.stored) << c.text;
    EXPECT_EQ(sink.reports, c.reports) << c.text;
  }
}

}  // namespace
}  // namespace kestrune::engine
