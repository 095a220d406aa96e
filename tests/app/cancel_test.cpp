// Ctrl-C in the console form stops the run after the current statement.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "support/fake_host.h"

extern char** environ;

namespace kestrune::app {
namespace {

TEST(Cancel, InterruptStopsTheRunWithCancelJob) {
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

  // Wait for the first line, then interrupt.
  std::string text;
  char buf[256];
  while (text.find("started") == std::string::npos) {
    ssize_t n = read(out[0], buf, sizeof buf);
    ASSERT_GT(n, 0);
    text.append(buf, static_cast<size_t>(n));
  }
  kill(pid, SIGINT);
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status)) << "the program did not end by itself after the interrupt";
  EXPECT_NE(text.find("---- Cancel Job ----"), std::string::npos) << text;
}

}  // namespace
}  // namespace kestrune::app
