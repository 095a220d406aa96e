// The system's barrier block: made the user's own (mode 0600), refused with nothing written when it
// has another size, magic or owner, a lock that a dead holder leaves repairable, the futex wait,
// and the liveness of participants.
#include "platform/barrier_block.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/private_objects.h"

namespace kestrune::platform {
namespace {

std::string TestName(std::string_view what) {
  return "kestrune_barrier_test_" + std::to_string(::getpid()) + "_" + std::string(what);
}

uint32_t WordAt(std::span<uint8_t> bytes, size_t offset) {
  uint32_t v;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

// Plants a block under the user's name for name: size bytes, each filled, mode given.
void Plant(const std::string& name, size_t size, uint8_t fill, mode_t mode) {
  const std::string shm = user_objects::SharedBlockName(name);
  int fd = ::shm_open(shm.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
  std::vector<uint8_t> bytes(size, fill);
  ASSERT_EQ(::write(fd, bytes.data(), size), static_cast<ssize_t>(size));
  ASSERT_EQ(::fchmod(fd, mode), 0);
  ::close(fd);
}

// The planted block's bytes, to see that nothing was written.
std::vector<uint8_t> Contents(const std::string& name) {
  const std::string path = user_objects::SharedBlockPath(name);
  std::vector<uint8_t> bytes;
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return bytes;
  uint8_t buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
  ::close(fd);
  return bytes;
}

TEST(BarrierBlockTest, ANewBlockIsTheUsersOwnAndGoesWithTheLastMapping) {
  BarrierSystem& system = DefaultBarrierSystem();
  const std::string name = TestName("new");
  const std::string path = user_objects::SharedBlockPath(name);
  std::string why;
  auto a = system.Open(name, why);
  ASSERT_TRUE(a) << why;
  auto b = system.Open(name, why);
  ASSERT_TRUE(b) << why;
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(static_cast<size_t>(st.st_size), kBarrierBlockBytes);
  EXPECT_EQ(WordAt(a->Bytes(), kBarrierMagicOffset), kBarrierMagic);
  EXPECT_EQ(WordAt(a->Bytes(), kBarrierGenerationOffset), 1u);
  bool repaired = true;
  ASSERT_TRUE(a->Lock(repaired, why)) << why;
  EXPECT_FALSE(repaired);
  a->Bytes()[100] = 42;
  a->Unlock();
  EXPECT_EQ(b->Bytes()[100], 42) << "both map the same bytes";
  a.reset();
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << "b still maps it";
  b.reset();
  EXPECT_NE(::stat(path.c_str(), &st), 0) << "the last mapping removed the name";
}

TEST(BarrierBlockTest, ABlockOfAnotherSizeMagicOrModeIsRefusedUntouched) {
  struct Case {
    const char* what;
    size_t size;
    uint8_t fill;
    mode_t mode;
    const char* reason;
  };
  const Case cases[] = {
      {"the older 16-byte block", 16, 0, 0600, "it holds 16 bytes, not 3200"},
      {"a bigger block", kBarrierBlockBytes + 8, 0, 0600, "it holds 3208 bytes, not 3200"},
      {"another program's block", kBarrierBlockBytes, 0x5A, 0600, "its magic is 0x5A5A5A5A, not 0x3152424B"},
      {"a block open to others", kBarrierBlockBytes, 0, 0644, "it grants access to group or other users"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = TestName("refused");
    Plant(name, c.size, c.fill, c.mode);
    const std::vector<uint8_t> before = Contents(name);
    std::string why;
    EXPECT_EQ(DefaultBarrierSystem().Open(name, why), nullptr);
    EXPECT_NE(why.find(user_objects::SharedBlockPath(name)), std::string::npos) << why;
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    EXPECT_EQ(Contents(name), before) << "nothing written";
    ::shm_unlink(user_objects::SharedBlockName(name).c_str());
  }
}

TEST(BarrierBlockTest, ABlockOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a block to another user";
  const std::string name = TestName("foreign");
  Plant(name, kBarrierBlockBytes, 0, 0600);
  ASSERT_EQ(::chown(user_objects::SharedBlockPath(name).c_str(), 65534, 65534), 0);
  std::string why;
  EXPECT_EQ(DefaultBarrierSystem().Open(name, why), nullptr);
  EXPECT_NE(why.find("it belongs to user 65534, not to user 0"), std::string::npos) << why;
  ::shm_unlink(user_objects::SharedBlockName(name).c_str());
}

TEST(BarrierBlockTest, AHolderThatDiesLeavesTheLockRepairable) {
  const std::string name = TestName("robust");
  std::string why;
  auto block = DefaultBarrierSystem().Open(name, why);
  ASSERT_TRUE(block) << why;
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string childWhy;
    auto mine = DefaultBarrierSystem().Open(name, childWhy);
    bool repaired = false;
    if (mine && mine->Lock(repaired, childWhy)) ::_exit(0);  // dies holding the lock
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  bool repaired = false;
  ASSERT_TRUE(block->Lock(repaired, why)) << why;
  EXPECT_TRUE(repaired);
  block->Unlock();
  ASSERT_TRUE(block->Lock(repaired, why)) << why;
  EXPECT_FALSE(repaired) << "consistent again";
  block->Unlock();
}

TEST(BarrierBlockTest, AParticipantIsAliveWhileItsProcessRuns) {
  BarrierSystem& system = DefaultBarrierSystem();
  const ProcessIdentity self = system.Self();
  EXPECT_EQ(self.pid, static_cast<uint32_t>(::getpid()));
  EXPECT_NE(self.startTime, 0u);
  EXPECT_TRUE(system.Alive(self));
  EXPECT_FALSE(system.Alive({self.pid, self.startTime + 1})) << "the id taken by another process";
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const ProcessIdentity mine = DefaultBarrierSystem().Self();
    (void)!::write(pipeFds[1], &mine.startTime, sizeof mine.startTime);
    ::pause();
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  ProcessIdentity running{static_cast<uint32_t>(child), 0};
  ASSERT_EQ(::read(pipeFds[0], &running.startTime, sizeof running.startTime),
            static_cast<ssize_t>(sizeof running.startTime));
  ::close(pipeFds[0]);
  EXPECT_TRUE(system.Alive(running));
  ::kill(child, SIGKILL);
  // Killed but not collected yet: a zombie counts as ended.
  bool ended = false;
  for (int i = 0; i < 2000 && !ended; ++i) {
    ended = !system.Alive(running);
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(ended);
  ::waitpid(child, nullptr, 0);
  EXPECT_FALSE(system.Alive(running));
  EXPECT_FALSE(system.Alive({0, 0}));
}

TEST(BarrierBlockWaitTest, AWaiterWakesWhenTheGenerationMoves) {
  const std::string name = TestName("wait");
  std::string why;
  auto waiterBlock = DefaultBarrierSystem().Open(name, why);
  auto releaserBlock = DefaultBarrierSystem().Open(name, why);
  ASSERT_TRUE(waiterBlock && releaserBlock) << why;
  // A wait on a generation that is no longer current returns at once.
  auto started = std::chrono::steady_clock::now();
  waiterBlock->WaitForChange(77, 5000);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    waiterBlock->WaitForChange(1, 10000);
    woke.store(true);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(woke.load());
  bool repaired = false;
  ASSERT_TRUE(releaserBlock->Lock(repaired, why)) << why;
  std::atomic_ref<uint32_t>(
      *reinterpret_cast<uint32_t*>(releaserBlock->Bytes().data() + kBarrierGenerationOffset))
      .store(2);
  releaserBlock->Unlock();
  started = std::chrono::steady_clock::now();
  releaserBlock->WakeWaiters();
  waiter.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

}  // namespace
}  // namespace kestrune::platform
