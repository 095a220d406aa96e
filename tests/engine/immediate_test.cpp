#include <gtest/gtest.h>

#include "engine/interpreter.h"
#include "engine/view.h"
#include "support/fake_host.h"

namespace kestrune::engine {
namespace {

struct Captured : ConsoleSink {
  std::string text;
  void PrintLine(std::string_view line) override { text += std::string(line) + "\n"; }
};

TEST(Immediate, RunsOneStatementWithFreshState) {
  testing::TempDir dir;
  testing::FakeHost host;
  Captured console;
  RunSettings settings;
  settings.workFolder = dir.path();
  settings.style = 30;
  Interpreter interp(host, settings, &console);
  EXPECT_EQ(interp.RunImmediate(0, "  Print( Output:\"now\" );  "), ExecResult::kNext);
  EXPECT_EQ(console.text, "        now\n");
  EXPECT_EQ(interp.RunImmediate(0, ""), ExecResult::kNext);
  // Variables of one immediate statement do not survive into the next.
  interp.RunImmediate(0, "x = 1;");
  EXPECT_EQ(interp.RunImmediate(0, "Print( Output:x );"), ExecResult::kStop);
  EXPECT_EQ(interp.LastCompletionCode(0), -25);
}

}  // namespace
}  // namespace kestrune::engine
