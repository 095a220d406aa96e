#include "engine/script_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "engine/executor.h"
#include "support/fake_host.h"

namespace kestrune::engine {
namespace {

std::vector<std::string> Cut(std::string_view script) {
  std::vector<std::string> out;
  for (size_t at = 0; at < script.size();) {
    Statement st = CutStatement(script, at);
    out.push_back(st.text);
    at += st.length;
  }
  return out;
}

TEST(CutStatement, TerminatorsEndStatementsEverywhere) {
  EXPECT_EQ(Cut("a = 1;\r\nIf (a) {\r\n}\r\n"), (std::vector<std::string>{"a = 1;", "If (a) {", "}", ""}));
  // Inside quotes too.
  EXPECT_EQ(Cut("Print( Output:\"a;b\" );"), (std::vector<std::string>{"Print( Output:\"a;", "b\" );"}));
}

TEST(CutStatement, CommentsRunToCrLf) {
  EXPECT_EQ(Cut("// note\r\nx = 1;"), (std::vector<std::string>{"x = 1;"}));
  // A bare LF does not end a comment: the statement after it is swallowed.
  EXPECT_EQ(Cut("// note\nx = 1;"), (std::vector<std::string>{";"}));
  // A terminator inside a comment ends the statement; the comment's rest begins the next one.
  EXPECT_EQ(Cut("x = 1; // a; b\r\ny = 2;"), (std::vector<std::string>{"x = 1;", ";", "b  y = 2;"}));
  EXPECT_EQ(Cut("a\tb\r\n\tc;"), (std::vector<std::string>{"a\tb  \tc;"}));
}

TEST(CutStatement, WindowOf2048Bytes) {
  std::string longText(5000, 'x');
  Statement first = CutStatement(longText, 0);
  EXPECT_EQ(first.length, kStatementWindow);
  EXPECT_EQ(first.text.size(), kStatementWindow);
  EXPECT_EQ(CutStatement(longText + ";", 4096).length, 905u);
  EXPECT_EQ(CutStatement("x;", 7).length, 0u);  // past the end
}

TEST(Scramble, IsItsOwnInverseAndReversesOrder) {
  std::vector<uint8_t> plain = {'a', 'b', 'c', 'd', 'e'};
  std::vector<uint8_t> bytes = plain;
  ScrambleInPlace(bytes);
  EXPECT_NE(bytes, plain);
  ScrambleInPlace(bytes);
  EXPECT_EQ(bytes, plain);
  EXPECT_TRUE(IsPlainScriptName("x.scpt"));
  EXPECT_FALSE(IsPlainScriptName("x.SCPT"));
  EXPECT_FALSE(IsPlainScriptName("script.encode"));
}

// The build packs the default script with tools/pack_package.py: both must use the same table.
TEST(Scramble, MatchesThePackagingTool) {
  testing::TempDir dir;
  std::string in = dir.path() + "/in.scpt", out = dir.path() + "/out.bin";
  std::string text;
  for (int i = 0; i < 256; ++i) text.push_back(static_cast<char>(i));
  std::ofstream(in, std::ios::binary) << text;
  std::string cmd = "python3 " KESTRUNE_SOURCE_DIR "/tools/pack_package.py --scramble " + in + " > " + out;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string loaded;
  ASSERT_TRUE(LoadScript(out, loaded));  // not ".scpt": unscrambled on load
  EXPECT_EQ(loaded, text);
}

TEST(CollapseBlanks, OutsideQuotesOnly) {
  EXPECT_EQ(CollapseBlanks("  a \t  b  \" x   y \"  c  "), "a b \" x   y \" c");
  EXPECT_EQ(CollapseBlanks("\t"), "");
}

}  // namespace
}  // namespace kestrune::engine
