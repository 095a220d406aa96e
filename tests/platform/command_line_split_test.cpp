// Windows command-line splitting and quoting.
#include "platform/command_line_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune::platform {
namespace {

using Args = std::vector<std::string>;

struct SplitCase {
  const char* line;
  Args args;
};

TEST(SplitWindowsCommandLine, FollowsTheRuntimeQuotingRules) {
  const SplitCase cases[] = {
      // Blanks and tabs separate; runs of them count once; leading and trailing ones vanish.
      {"p a b", {"p", "a", "b"}},
      {"  p \t a   b \t", {"p", "a", "b"}},
      {"", {}},
      {"   ", {}},
      // Quotes group and are dropped, also in the middle of an argument.
      {R"(p "a b" c)", {"p", "a b", "c"}},
      {R"(p a"b c"d)", {"p", "ab cd"}},
      {R"(p "")", {"p", ""}},
      {R"(p "" "")", {"p", "", ""}},
      {R"(p "a)", {"p", "a"}},  // an open quote runs to the end
      // Backslashes not before a quote are literal.
      {R"(p a\b c\\d e\\\f)", {"p", R"(a\b)", R"(c\\d)", R"(e\\\f)"}},
      {R"(p a\)", {"p", R"(a\)"}},
      // 2n backslashes before a quote: n backslashes, the quote toggles.
      {R"(p "a\\" b)", {"p", R"(a\)", "b"}},
      {R"(p a\\\\"b c")", {"p", R"(a\\b c)"}},
      // 2n+1 backslashes before a quote: n backslashes and a literal quote.
      {R"(p a\"b)", {"p", R"(a"b)"}},
      {R"(p a\\\"b)", {"p", R"(a\"b)"}},
      {R"(p "a\" b")", {"p", R"(a" b)"}},
      // Two quotes inside quotes: one literal quote, quoting goes on.
      {R"(p "a""b c")", {"p", R"(a"b c)"}},
      {R"(p "a""")", {"p", R"(a")"}},
      // Outside quotes, "" opens and closes quoting: nothing is added.
      {R"(p a""b)", {"p", "ab"}},
      // Argument 0: quotes toggle, backslashes are literal, even before a quote.
      {R"("C:\Program Files\t.exe" x)", {R"(C:\Program Files\t.exe)", "x"}},
      {R"(C:\dir\"a b"\t.exe x)", {R"(C:\dir\a b\t.exe)", "x"}},
      {R"("C:\dir\" x)", {R"(C:\dir\)", "x"}},
      // Shell characters are plain text.
      {R"(p ; rm -rf / $(id) `id` | & > <)",
       {"p", ";", "rm", "-rf", "/", "$(id)", "`id`", "|", "&", ">", "<"}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(SplitWindowsCommandLine(c.line), c.args) << c.line;
}

TEST(QuoteWindowsArgument, QuotesOnlyWhatNeedsIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"abc", "abc"},
      {R"(a\b)", R"(a\b)"},
      {"", R"("")"},
      {"a b", R"("a b")"},
      {"a\tb", "\"a\tb\""},
      {R"(a"b)", R"("a\"b")"},
      {R"(a\"b)", R"("a\\\"b")"},
      {R"(a b\)", R"("a b\\")"},
      {R"(a\\ b)", R"("a\\ b")"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(QuoteWindowsArgument(in), out) << in;
}

TEST(JoinWindowsCommandLine, SplitsBackToTheSameArguments) {
  const Args cases[] = {
      {"prog"},
      {R"(C:\Program Files\t.exe)", "a b", "", R"(x\)", R"(y\\)", R"(q"q)", R"(\"")", "\t", "; rm -rf /"},
      {"/bin/echo", "$(touch x)", "`touch y`", R"(C:\dir with blank\)", R"("quoted")"},
  };
  for (const Args& args : cases) EXPECT_EQ(SplitWindowsCommandLine(JoinWindowsCommandLine(args)), args);
}

TEST(JoinWindowsCommandLine, DropsQuotesFromTheProgram) {
  EXPECT_EQ(JoinWindowsCommandLine({R"(a"b)", "c"}), R"("ab" c)");
}

}  // namespace
}  // namespace kestrune::platform
