// The system's named shared memory and machine-wide locks (behind Host), across threads and processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "platform/host.h"
#include "support/fake_host.h"

namespace kestrune::platform {
namespace {

std::string TestName(std::string_view what) {
  return "kestrune_test_" + std::to_string(::getpid()) + "_" + std::string(what);
}

bool AllZero(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

TEST(SharedBlockTest, MappingsShareBytesAndTheBlockDiesWithTheLast) {
  Host& host = testing::SystemObjectsHost();
  const std::string name = TestName("block");
  std::string why;
  auto a = host.OpenSharedBlock(name, 4096, why);
  ASSERT_TRUE(a) << why;
  EXPECT_TRUE(a->Created());
  EXPECT_EQ(a->Bytes().size(), 4096u);
  EXPECT_TRUE(AllZero(a->Bytes()));
  a->Bytes()[4095] = 0x5A;
  auto b = host.OpenSharedBlock(name, 4096, why);
  ASSERT_TRUE(b);
  EXPECT_FALSE(b->Created());
  EXPECT_EQ(b->Bytes()[4095], 0x5A);
  b->Bytes()[0] = 0x11;
  EXPECT_EQ(a->Bytes()[0], 0x11);
  EXPECT_FALSE(host.OpenSharedBlock(name, 8192, why)) << "an existing block smaller than asked for";
  EXPECT_NE(why.find("fewer than 8192"), std::string::npos) << why;
  EXPECT_FALSE(host.OpenSharedBlock("", 16, why));

  a.reset();
  EXPECT_EQ(b->Bytes()[4095], 0x5A) << "one mapping keeps the block";
  b.reset();
  auto c = host.OpenSharedBlock(name, 4096, why);
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->Created());
  EXPECT_TRUE(AllZero(c->Bytes()));
}

TEST(SharedBlockTest, AKilledUserDoesNotKeepTheBlockAlive) {
  const std::string name = TestName("killed");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string why;
    auto block = testing::SystemObjectsHost().OpenSharedBlock(name, 64, why);
    if (block) block->Bytes()[0] = 0xAA;
    ::raise(SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  std::string why;
  auto block = testing::SystemObjectsHost().OpenSharedBlock(name, 64, why);
  ASSERT_TRUE(block) << why;
  EXPECT_TRUE(block->Created());
  EXPECT_EQ(block->Bytes()[0], 0);
}

TEST(NamedLockTest, ASecondTakerWaitsAndGivesUpInTime) {
  Host& host = testing::SystemObjectsHost();
  const std::string name = TestName("lock");
  std::string why;
  auto held = host.AcquireNamedLock(name, 1000, why);
  ASSERT_TRUE(held) << why;
  bool gotIt = true;
  std::string waitWhy = "not set";
  std::chrono::milliseconds waited{};
  std::thread other([&] {
    auto start = std::chrono::steady_clock::now();
    gotIt = host.AcquireNamedLock(name, 100, waitWhy) != nullptr;
    waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  });
  other.join();
  EXPECT_FALSE(gotIt);
  EXPECT_EQ(waitWhy, "") << "only the wait ran out";
  EXPECT_GE(waited.count(), 90);  // it did wait (the clock counts whole milliseconds)
  EXPECT_LT(waited.count(), 2000);
  held.reset();
  EXPECT_TRUE(host.AcquireNamedLock(name, 0, why));
  EXPECT_FALSE(host.AcquireNamedLock("", 0, why));
  EXPECT_FALSE(why.empty()) << "a lock without a name is no wait that ran out";
}

TEST(NamedLockTest, AKilledHolderReleasesTheLock) {
  const std::string name = TestName("killedlock");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string why;
    auto lock = testing::SystemObjectsHost().AcquireNamedLock(name, 1000, why);
    char c = lock ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    ::pause();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  std::string why;
  EXPECT_FALSE(testing::SystemObjectsHost().AcquireNamedLock(name, 50, why)) << "held by the child";
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(testing::SystemObjectsHost().AcquireNamedLock(name, 2000, why)) << why;
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace kestrune::platform
