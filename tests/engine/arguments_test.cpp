#include "engine/arguments.h"

#include <gtest/gtest.h>

#include "recording_sink.h"

namespace kestrune::engine {
namespace {

std::vector<std::pair<std::string, std::string>> Pairs(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  while (auto p = NextPair(text)) out.emplace_back(p->name, p->value);
  return out;
}

TEST(PairReader, NamesValuesQuotesAndEmptyNames) {
  using P = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(Pairs("x:1, :2"), (P{{"x", "1"}, {"", "2"}}));
  EXPECT_EQ(Pairs("Output:\"a,b\""), (P{{"Output", "\"a,b\""}}));
  EXPECT_EQ(Pairs("\"C:\\x\", Len:\t 4 "), (P{{"", "\"C:\\x\""}, {"Len", "4"}}));
  EXPECT_EQ(Pairs(std::string(40, 'n') + ":1")[0].first.size(), 30u);
  EXPECT_EQ(Pairs(";"), P{});
  EXPECT_EQ(Pairs(""), P{});
}

TEST(EvaluateArguments, ValuesArriveEvaluated) {
  VarList vars;
  RecordingSink errors;
  vars.SetNumber("a", 4);
  EXPECT_EQ(EvaluateArguments(vars, errors, "LeftAlign:FALSE, Output:a+1"), "LeftAlign:0, Output:5");
  EXPECT_EQ(EvaluateArguments(vars, errors, "X:0x10, T:\"q\""), "X:0x10, T:\"q\"");
  // Evaluation stops at the first empty value.
  EXPECT_EQ(EvaluateArguments(vars, errors, "A:1, B:, C:3"), "A:1");
}

TEST(ArgReader, BindsByNameOrPosition) {
  VarList vars;
  RecordingSink errors;
  {
    ArgReader in(vars, errors, "Output:\"x\"", {"LeftAlign", "Output"});
    EXPECT_FALSE(in.Bool(false));
    EXPECT_EQ(in.Text(""), "x");
  }
  {
    ArgReader in(vars, errors, "1, \"y\"", {"LeftAlign", "Output"});
    EXPECT_TRUE(in.Bool(false));
    EXPECT_EQ(in.Text(""), "y");
  }
  {
    // Names that belong to no parameter are ignored: binding stays positional.
    ArgReader in(vars, errors, "Left:1, Out:\"z\"", {"LeftAlign", "Output"});
    EXPECT_TRUE(in.Bool(false));
    EXPECT_EQ(in.Text(""), "z");
  }
  {
    ArgReader in(vars, errors, "Count:\"text\"", {"Count"});
    in.U32(5);
    EXPECT_FALSE(in.ok());
  }
  {
    ArgReader in(vars, errors, "", {"Count"});
    EXPECT_EQ(in.U32(5), 5u);
    EXPECT_TRUE(in.ok());
  }
}

}  // namespace
}  // namespace kestrune::engine
