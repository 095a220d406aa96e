// Ctrl-C in the console form stops the run after the current statement, and the run is no pass.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

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

TEST(Cancel, InterruptStopsTheRunWithCancelJobAndANonzeroExitCode) {
  testing::TempDir dir;
  std::string script = dir.path() + "/forever.scpt";
  std::ofstream(script, std::ios::binary) << "Print( Output:\"started\" );\r\nWhile (1) {\r\n  i = 1;\r\n}\r\n";

  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string program = KESTRUNE_PROGRAM;
  std::string arg = "SCRIPT:" + script;
  std::string sim = "/sim", drive = "\\\\.\\PHYSICALDRIVE0";
  char* argv[] = {program.data(), arg.data(), sim.data(), drive.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);

  // Wait for the first line, then interrupt; the program must end by itself soon after.
  std::string text;
  ReadUntil(out[0], text, Clock::now() + std::chrono::seconds(60),
            [](const std::string& t) { return t.find("started") != std::string::npos; });
  const bool started = text.find("started") != std::string::npos;
  kill(pid, started ? SIGINT : SIGKILL);
  ReadUntil(out[0], text, Clock::now() + std::chrono::seconds(30), [](const std::string&) { return false; });
  close(out[0]);
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

}  // namespace
}  // namespace kestrune::app
