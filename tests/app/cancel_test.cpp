// Ctrl-C in the console form stops the run after the current statement, and the run is no pass; a
// run killed outright (SIGKILL) has every line it showed in its TestLog.htm.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_host.h"

extern char** environ;

namespace kestrune::app {
namespace {

using Clock = std::chrono::steady_clock;

// Reads from fd into text until until(text) holds, the stream ends, or the deadline passes.
template <class Until>
void ReadUntil(int fd, std::string& text, Clock::time_point deadline, Until until) {
  char buf[256];
  while (!until(text) && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return;
    text.append(buf, static_cast<size_t>(n));
  }
}

// The program on the simulated lab running script, its standard output on a pipe; with tmpDir its
// temporary (and so its work) folder there.
struct Spawned {
  pid_t pid = 0;
  int out = -1;
};
Spawned SpawnRun(const std::string& script, const std::string& tmpDir = std::string()) {
  int out[2];
  if (pipe(out) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string program = KESTRUNE_PROGRAM;
  std::string arg = "SCRIPT:" + script;
  std::string sim = "/sim", drive = "\\\\.\\PHYSICALDRIVE0";
  char* argv[] = {program.data(), arg.data(), sim.data(), drive.data(), nullptr};
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (tmpDir.empty() || std::string_view(*e).rfind("TMPDIR=", 0) != 0) env.emplace_back(*e);
  if (!tmpDir.empty()) env.push_back("TMPDIR=" + tmpDir);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  Spawned s;
  if (posix_spawn(&s.pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) s.pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  s.out = out[0];
  return s;
}

TEST(Cancel, InterruptStopsTheRunWithCancelJobAndANonzeroExitCode) {
  testing::TempDir dir;
  std::string script = dir.path() + "/forever.scpt";
  std::ofstream(script, std::ios::binary) << "Print( Output:\"started\" );\r\nWhile (1) {\r\n  i = 1;\r\n}\r\n";

  const Spawned run = SpawnRun(script);
  ASSERT_NE(run.pid, 0);
  const pid_t pid = run.pid;
  const int out = run.out;

  // Wait for the first line, then interrupt; the program must end by itself soon after.
  std::string text;
  ReadUntil(out, text, Clock::now() + std::chrono::seconds(60),
            [](const std::string& t) { return t.find("started") != std::string::npos; });
  const bool started = text.find("started") != std::string::npos;
  kill(pid, started ? SIGINT : SIGKILL);
  ReadUntil(out, text, Clock::now() + std::chrono::seconds(30), [](const std::string&) { return false; });
  close(out);
  int status = 0;
  pid_t reaped = 0;
  for (int i = 0; i < 300 && (reaped = waitpid(pid, &status, WNOHANG)) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (reaped == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "the program did not end by itself after the interrupt";
  }
  ASSERT_TRUE(started) << text;
  ASSERT_TRUE(WIFEXITED(status)) << "the program died of a signal instead of ending its run";
  EXPECT_EQ(WEXITSTATUS(status), 1) << "-255, of which the shell sees the low byte";
  EXPECT_NE(text.find("---- Cancel Job ----"), std::string::npos) << text;
  EXPECT_EQ(text.find("[Error Code]"), std::string::npos) << "a cancel prints no error lines: " << text;
}

// Each line goes to the page as it is shown: a run killed in the middle of its script has all of them.
TEST(Cancel, AKilledRunLosesNoLineOfItsTestLog) {
  testing::TempDir dir;
  const std::string script = dir.path() + "/killed.scpt";
  std::ofstream(script, std::ios::binary) << "Print( Output:\"first & one\" );\r\nPrint( Output:\"second\" );\r\n"
                                             "Print( Output:\"last before the kill\" );\r\nWhile (1) {\r\n  i = 1;\r\n}\r\n";
  const Spawned run = SpawnRun(script, dir.path());
  ASSERT_NE(run.pid, 0);
  std::string text;
  ReadUntil(run.out, text, Clock::now() + std::chrono::seconds(60),
            [](const std::string& t) { return t.find("last before the kill") != std::string::npos; });
  // The page's row follows the console's line: give it a moment, as an unflushed buffer would lose it anyway.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(run.pid, SIGKILL);
  int status = 0;
  waitpid(run.pid, &status, 0);
  close(run.out);
  ASSERT_NE(text.find("last before the kill"), std::string::npos) << text;
  std::string page;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
    if (entry.path().filename() == "TestLog.htm") {
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      page = bytes.str();
    }
  ASSERT_FALSE(page.empty()) << "no TestLog.htm below " << dir.path();
  for (const char* shown : {"first&nbsp;&amp;&nbsp;one", "second", "last&nbsp;before&nbsp;the&nbsp;kill"})
    EXPECT_NE(page.find(shown), std::string::npos) << shown << " is not in the page:\n" << page;
}

}  // namespace
}  // namespace kestrune::app
