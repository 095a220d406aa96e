// The error-stop broadcast on the system's blocks: another process's broadcast reaches a listener
// with the sender's id; a process's own broadcasts do not.
#include "platform/error_stop_signal.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/fake_host.h"

namespace kestrune::platform {
namespace {

class ErrorStopSignalTest : public ::testing::Test {
 protected:
  ErrorStopSignalTest() {
    suffix = ".errstop_test_" + std::to_string(::getpid());
    ::setenv("KESTRUNE_OBJECT_SUFFIX", suffix.c_str(), 1);
  }
  ~ErrorStopSignalTest() override { ::unsetenv("KESTRUNE_OBJECT_SUFFIX"); }
  std::string suffix;
};

TEST_F(ErrorStopSignalTest, AnotherProcessesBroadcastReachesTheListenerOnce) {
  Host& host = testing::SystemObjectsHost();
  std::string why;
  auto listener = ListenForErrorStops(host, why);
  ASSERT_TRUE(listener) << why;
  EXPECT_EQ(listener->Wait(10), std::nullopt) << "nothing sent yet";
  ASSERT_TRUE(BroadcastErrorStop(host, host.ProcessId(), why)) << why;
  EXPECT_EQ(listener->Wait(10), std::nullopt) << "its own broadcast";
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string childWhy;
    ::_exit(BroadcastErrorStop(host, static_cast<uint64_t>(::getpid()), childWhy) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(listener->Wait(1000), std::optional<uint64_t>(static_cast<uint64_t>(child)));
  EXPECT_EQ(listener->Wait(10), std::nullopt) << "told once";
}

}  // namespace
}  // namespace kestrune::platform
