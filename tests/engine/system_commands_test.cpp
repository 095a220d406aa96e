// GlobalLock and GlobalUnLock on the machine-wide "GlobalMutex", and roziDadaze.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "command_fixture.h"
#include "platform/files.h"
#include "support/executable_file.h"

namespace kestrune::engine {
namespace {

// A host whose pauses count, and which sets a cancel flag at the given pause.
class PollingHost : public testing::FakeHost {
 public:
  void SleepMs(uint32_t ms) override {
    FakeHost::SleepMs(ms);
    if (++pauses == cancelAtPause && cancel) cancel->store(true);
  }
  int pauses = 0;
  int cancelAtPause = 0;
  std::atomic<bool>* cancel = nullptr;
};

// Takes "GlobalMutex" as another instance would: on a thread of its own, without waiting.
bool OthersCanTake(platform::Host& host) {
  bool taken = false;
  std::thread([&] {
    std::string why;
    taken = host.AcquireNamedLock("GlobalMutex", 0, why) != nullptr;
  }).join();
  return taken;
}

class SystemCommandsTest : public CommandFixture<PollingHost> {
 protected:
  std::string In(const std::string& name) { return platform::JoinPath(dir.path(), name); }
};

TEST_F(SystemCommandsTest, GlobalLockHoldsTheMachineLockUntilGlobalUnLock) {
  Run("GlobalLock();");
  EXPECT_EQ(host.LockLog().back(), "GlobalMutex");
  EXPECT_FALSE(OthersCanTake(host));
  Run("GlobalLock();");  // taken already: nothing changes, nothing waits
  EXPECT_EQ(host.pauses, 0);
  Run("GlobalUnLock();");
  EXPECT_TRUE(OthersCanTake(host));
  Run("GlobalUnLock();");  // not held: nothing to do
  EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(SystemCommandsTest, ARefusedLockIsReportedInsteadOfAwaited) {
  host.refusal = "refused the lock file L: it grants access to group or other users (mode 0644)";
  Run("GlobalLock();");
  EXPECT_EQ(host.pauses, 0);  // it did not wait for a lock that cannot come
  EXPECT_EQ(ErrorCount(), 1);
  EXPECT_EQ(LastError(), "Error. Cannot take GlobalMutex: " + host.refusal);
  host.refusal.clear();
  EXPECT_TRUE(OthersCanTake(host)) << "nothing was taken";
}

TEST_F(SystemCommandsTest, TheEndOfTheRunGivesTheLockBack) {
  interp.RunScriptText(0, "GlobalLock();\r\nPrint( Output:\"locked\" );\r\n", In("lock.scpt"));
  EXPECT_EQ(console.lines, (std::vector<std::string>{"        locked"}));
  EXPECT_TRUE(OthersCanTake(host));
}

TEST_F(SystemCommandsTest, AWaitingGlobalLockEndsWhenTheRunIsCancelled) {
  std::atomic<bool> release{false};
  std::atomic<bool> held{false};
  std::thread holder([&] {
    std::string why;
    auto lock = host.AcquireNamedLock("GlobalMutex", 1000, why);
    held.store(lock != nullptr);
    for (int i = 0; i < 30000 && !release.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  for (int i = 0; i < 10000 && !held.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!held.load()) {
    release.store(true);
    holder.join();
    FAIL() << "the other holder never got the lock";
  }
  host.cancel = &interp.view(0).cancel;
  host.cancelAtPause = 5;
  Run("GlobalLock();");
  EXPECT_EQ(host.pauses, 5);  // it kept asking, pausing between tries, until the cancel came
  EXPECT_TRUE(interp.view(0).cancel.load());
  release.store(true);
  holder.join();
  interp.view(0).cancel.store(false);
  Run("GlobalUnLock();");
  EXPECT_TRUE(OthersCanTake(host));  // the cancelled wait took nothing
}

TEST_F(SystemCommandsTest, RoziDadazeStartsTheViewerOfTheWorkFolder) {
  Run("roziDadaze();");
  EXPECT_EQ(LastError(), "File Open Fail or File Does Not Exist. " + In("roziDadaze.exe"));
  const std::string marker = In("viewer.started");
  testing::WriteShellScript(dir.path(), "roziDadaze.exe", "touch '" + marker + "'\n");
  Run("roziDadaze();");
  EXPECT_EQ(ErrorCount(), 1);
  for (int i = 0; i < 500 && !platform::FileExists(marker); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(platform::FileExists(marker));
}

}  // namespace
}  // namespace kestrune::engine
