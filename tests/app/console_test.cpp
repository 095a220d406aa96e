#include "app/console.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/fake_host.h"

namespace kestrune::app {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Console, MirrorsLinesAndKeepsOnlyTheLastStatusLine) {
  testing::TempDir dir;
  testing::FakeHost host;
  std::string path = dir.path() + "/run.log";
  {
    Console console(host);
    ASSERT_TRUE(console.OpenMirror(path));
    console.PrintLine("first");
    console.StatusLine("10%");
    console.StatusLine("20% done");
    console.StatusLine("30%");
    console.PrintLine("second");
  }
  EXPECT_EQ(ReadFile(path), "first\n\r        30%\x1b[K\nsecond\n");
  EXPECT_EQ(host.out, "first\n\r        10%\x1b[K\r        20% done\x1b[K\r        30%\x1b[K\nsecond\n");
}

TEST(Console, UncreatableMirrorLeavesOutputUnmirrored) {
  testing::FakeHost host;
  Console console(host);
  EXPECT_FALSE(console.OpenMirror("/nonexistent-folder/x/run.log"));
  console.PrintLine("still shown");
  EXPECT_EQ(host.out, "still shown\n");
}

}  // namespace
}  // namespace kestrune::app
