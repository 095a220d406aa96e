// Moving standard output to a file and back (ConsoleOut).
#include "platform/terminal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/executable_file.h"
#include "support/fake_host.h"

namespace kestrune::platform {
namespace {

void Say(const std::string& text) {
  ASSERT_EQ(::write(STDOUT_FILENO, text.data(), text.size()), ssize_t(text.size()));
}

TEST(RedirectStandardOutputTest, RewritesAppendsAndComesBack) {
  testing::TempDir dir;
  const std::string a = dir.path() + "/a.log";
  const std::string b = dir.path() + "/b.log";
  testing::WriteTextFile(a, "old\n");
  testing::WriteTextFile(b, "kept\n");

  ASSERT_TRUE(RedirectStandardOutput(a, false));
  Say("one\n");
  ASSERT_TRUE(RedirectStandardOutput(b, true));  // straight from one file to the next
  Say("two\n");
  ASSERT_TRUE(RedirectStandardOutput("", false));
  EXPECT_TRUE(RedirectStandardOutput("", false));  // back already: nothing to do

  EXPECT_EQ(testing::ReadTextFile(a), "one\n");
  EXPECT_EQ(testing::ReadTextFile(b), "kept\ntwo\n");
  EXPECT_FALSE(RedirectStandardOutput(dir.path() + "/no/such/folder/c.log", false));
}

}  // namespace
}  // namespace kestrune::platform
