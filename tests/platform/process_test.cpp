// Starting outside programs on the build machine: exit codes, working folder, literal arguments,
// cancelled waits, running-process counts and the program search.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/host.h"
#include "support/executable_file.h"
#include "support/fake_host.h"

namespace kestrune::platform {
namespace {

using testing::ReadTextFile;

using testing::WriteShellScript;

class ProcessTest : public ::testing::Test {
 protected:
  ProcessLauncher& launcher = DefaultProcessLauncher();
  testing::TempDir dir;
};

TEST_F(ProcessTest, ReturnsTheExitCodeAndRunsInTheWorkingFolder) {
  std::string prog = WriteShellScript(dir.path(), "code.sh", "pwd > where.txt\nexit 7\n");
  std::string error;
  auto p = launcher.Start(prog, {prog}, dir.path(), error);
  ASSERT_TRUE(p) << error;
  EXPECT_EQ(p->Wait(nullptr), 7);
  EXPECT_EQ(p->Wait(nullptr), 7);  // asked again
  EXPECT_EQ(ReadTextFile(JoinPath(dir.path(), "where.txt")), dir.path() + "\n");
}

TEST_F(ProcessTest, ShellCharactersReachTheProgramAsLiteralText) {
  std::string prog = WriteShellScript(dir.path(), "args.sh",
                                      "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > args.txt\n");
  std::string marker = JoinPath(dir.path(), "pwned");
  std::string line = "\"" + prog + "\" \"a; touch " + marker + "\" \"$(touch " + marker + ")\" `touch " +
                     marker + "` \"x\\\"y\" | & > out";
  std::string error;
  auto p = launcher.StartCommandLine(prog, line, dir.path(), error);
  ASSERT_TRUE(p) << error;
  ASSERT_EQ(p->Wait(nullptr), 0);
  EXPECT_EQ(ReadTextFile(JoinPath(dir.path(), "args.txt")), "[a; touch " + marker + "]\n[$(touch " + marker +
                                                                ")]\n[`touch]\n[" + marker +
                                                                "`]\n[x\"y]\n[|]\n[&]\n[>]\n[out]\n");
  EXPECT_FALSE(FileExists(marker));
  EXPECT_FALSE(FileExists(JoinPath(dir.path(), "out")));
}

TEST_F(ProcessTest, StartFailuresAreReported) {
  std::string error;
  EXPECT_FALSE(launcher.Start(JoinPath(dir.path(), "none"), {"none"}, "", error));
  EXPECT_NE(error.find("none"), std::string::npos);
  std::string prog = WriteShellScript(dir.path(), "ok.sh", "exit 0\n");
  error.clear();
  EXPECT_FALSE(launcher.Start(prog, {prog}, JoinPath(dir.path(), "no-such-folder"), error));
  EXPECT_FALSE(error.empty());
}

TEST_F(ProcessTest, CancelEndsTheWaitAndLeavesTheProgramRunning) {
  std::string prog = WriteShellScript(dir.path(), "slow.sh", "sleep 1\ntouch done.txt\n");
  std::string error;
  auto p = launcher.Start(prog, {prog}, dir.path(), error);
  ASSERT_TRUE(p) << error;
  std::atomic<bool> cancel{false};
  std::thread stopper([&cancel] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel.store(true);
  });
  EXPECT_EQ(p->Wait(&cancel, 10), std::nullopt);
  stopper.join();
  EXPECT_FALSE(FileExists(JoinPath(dir.path(), "done.txt")));
  std::atomic<bool> never{false};
  EXPECT_EQ(p->Wait(&never, 10), 0);  // it ran on to its end
  EXPECT_TRUE(FileExists(JoinPath(dir.path(), "done.txt")));
}

TEST_F(ProcessTest, CountsRunningProcessesByImageName) {
  std::string prog = WriteShellScript(dir.path(), "KestruneCountMe.sh", "sleep 5\n");
  EXPECT_EQ(launcher.CountRunning("KestruneCountMe.sh"), 0);
  std::string error;
  auto a = launcher.Start(prog, {prog}, dir.path(), error);
  auto b = launcher.Start(prog, {prog}, dir.path(), error);
  ASSERT_TRUE(a && b) << error;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(launcher.CountRunning("kestrunecountme.sh"), 2);  // any case
  EXPECT_EQ(launcher.CountRunning("KestruneCountMe"), 0);
  ::kill(static_cast<pid_t>(a->Id()), SIGKILL);
  ::kill(static_cast<pid_t>(b->Id()), SIGKILL);
  EXPECT_EQ(a->Wait(nullptr), 128 + SIGKILL);
  EXPECT_EQ(b->Wait(nullptr), 128 + SIGKILL);
  EXPECT_EQ(launcher.CountRunning("KestruneCountMe.sh"), 0);
}

TEST_F(ProcessTest, FindProgramLooksInTheFolderThenTheSearchPath) {
  testing::TempDir other;
  std::string inFolder = WriteShellScript(dir.path(), "tool", "exit 0\n");
  std::string onPath = WriteShellScript(other.path(), "helper", "exit 0\n");
  std::filesystem::create_directories(FsPath(JoinPath(dir.path(), "sub")));
  std::string nested = WriteShellScript(JoinPath(dir.path(), "sub"), "deep", "exit 0\n");
  std::string path = "/nonexistent:" + other.path();

  EXPECT_EQ(FindProgram("tool", dir.path(), path), inFolder);
  EXPECT_EQ(FindProgram("helper", dir.path(), path), onPath);
  EXPECT_EQ(FindProgram("sub/deep", dir.path(), path), nested);
  EXPECT_EQ(FindProgram(nested, "", ""), nested);
  EXPECT_EQ(FindProgram("deep", dir.path(), path), std::nullopt);        // not searched in subfolders
  EXPECT_EQ(FindProgram("sub/helper", dir.path(), path), std::nullopt);  // a folder part is not searched
  EXPECT_EQ(FindProgram("", dir.path(), path), std::nullopt);
}

TEST(IsAbsolutePath, KnowsBothForms) {
  EXPECT_TRUE(IsAbsolutePath("/usr/bin"));
  EXPECT_TRUE(IsAbsolutePath(R"(\\server\share)"));
  EXPECT_TRUE(IsAbsolutePath("C:tool.exe"));
  EXPECT_TRUE(IsAbsolutePath(R"(d:\x)"));
  EXPECT_FALSE(IsAbsolutePath("tool.exe"));
  EXPECT_FALSE(IsAbsolutePath(R"(sub\tool.exe)"));
  EXPECT_FALSE(IsAbsolutePath("1:x"));
  EXPECT_FALSE(IsAbsolutePath(""));
}

}  // namespace
}  // namespace kestrune::platform
