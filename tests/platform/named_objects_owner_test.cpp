// The system's named objects belong to the user that made them: mode 0600 whatever the umask,
// closed to a process of another user (which gets objects of its own instead), and objects planted
// under their names that another user owns, that are open to others or that are symbolic links are
// refused. Tests that need a second user or a foreign owner run as root and are skipped otherwise.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>

#include "platform/linux/private_objects.h"
#include "platform/named_objects.h"
#include "support/fake_host.h"

namespace kestrune::platform {
namespace {

constexpr uid_t kOtherUser = 65534;

std::string TestName(std::string_view what) {
  return "kestrune_owner_test_" + std::to_string(::getpid()) + "_" + std::string(what);
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Runs what in a child process that has become user and group kOtherUser, with its lock folder in
// runtimeDir, and returns the text the child gives back.
std::string AsOtherUser(const std::string& runtimeDir, const std::function<std::string()>& what) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "no pipe";
  pid_t child = ::fork();
  if (child < 0) return "no child";
  if (child == 0) {
    ::close(pipeFds[0]);
    const bool became = ::setgroups(0, nullptr) == 0 &&
                        ::setresgid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
                        ::setresuid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
                        ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1) == 0;
    const std::string out = became ? what() : "cannot become user 65534";
    (void)!::write(pipeFds[1], out.data(), out.size());
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string got;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
    got.append(buffer, static_cast<size_t>(n));
  ::close(pipeFds[0]);
  ::waitpid(child, nullptr, 0);
  return got;
}

TEST(OwnerOnlyObjectsTest, ObjectsAreMadeOwnerOnlyWhateverTheUmask) {
  const std::string name = TestName("umask");
  const mode_t old = ::umask(0277);  // would leave a new file read-only to its own user
  std::string why;
  auto block = OpenNamedSharedBlock(name, 64, why);
  auto lock = AcquireMachineLock(name + "Lock", 0, why);
  ::umask(old);
  ASSERT_TRUE(block && lock) << why;
  EXPECT_EQ(ModeOf(user_objects::SharedBlockPath(name)), 0600u);
  std::optional<std::string> lockPath = user_objects::LockFilePath(name + "Lock", why);
  ASSERT_TRUE(lockPath) << why;
  EXPECT_EQ(ModeOf(*lockPath), 0600u);
  auto again = OpenNamedSharedBlock(name, 64, why);  // a second instance of the same user joins
  ASSERT_TRUE(again) << why;
  EXPECT_FALSE(again->Created());
}

TEST(OwnerOnlyObjectsTest, AnotherUserCannotOpenThemAndGetsItsOwn) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to start a process as user 65534";
  const std::string name = TestName("other");
  std::string why;
  auto block = OpenNamedSharedBlock(name, 64, why);
  ASSERT_TRUE(block) << why;
  block->Bytes()[0] = 0x5A;
  auto lock = AcquireMachineLock(name + "Lock", 1000, why);
  ASSERT_TRUE(lock) << why;
  const std::string shmName = user_objects::SharedBlockName(name);
  std::optional<std::string> lockPath = user_objects::LockFilePath(name + "Lock", why);
  ASSERT_TRUE(lockPath) << why;

  testing::TempDir runtime;  // the other user's lock folder
  ASSERT_EQ(::chown(runtime.path().c_str(), kOtherUser, kOtherUser), 0);
  ASSERT_EQ(::chmod(runtime.path().c_str(), 0700), 0);
  const std::string seen = AsOtherUser(runtime.path(), [&] {
    std::string out;
    int fd = ::shm_open(shmName.c_str(), O_RDONLY, 0);
    out += fd < 0 && errno == EACCES ? "block denied" : "block opened";
    fd = ::open(lockPath->c_str(), O_RDONLY);
    out += fd < 0 && errno == EACCES ? ", lock denied" : ", lock opened";
    std::string why;
    auto own = OpenNamedSharedBlock(name, 64, why);
    out += own && own->Created() && own->Bytes()[0] == 0 ? ", own block fresh" : ", own block: " + why;
    auto ownLock = AcquireMachineLock(name + "Lock", 0, why);  // root holds its own lock of this name
    out += ownLock ? ", own lock taken" : ", own lock: " + why;
    return out;
  });
  EXPECT_EQ(seen, "block denied, lock denied, own block fresh, own lock taken");
  EXPECT_EQ(block->Bytes()[0], 0x5A);
}

// Puts an object at path as an attacker or a careless user would; false when it cannot.
using Plant = std::function<bool(const std::string& path, const std::string& scratch)>;

Plant FileWith(mode_t mode, uid_t owner) {
  return [mode, owner](const std::string& path, const std::string&) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = ::ftruncate(fd, 4096) == 0 && ::fchmod(fd, mode) == 0 && ::fchown(fd, owner, owner) == 0;
    ::close(fd);
    return ok;
  };
}
// A link to a file that would itself pass.
bool LinkToOwnFile(const std::string& path, const std::string& scratch) {
  static int links = 0;
  const std::string target = scratch + "/target" + std::to_string(links++);
  return FileWith(0600, ::geteuid())(target, scratch) && ::symlink(target.c_str(), path.c_str()) == 0;
}

TEST(OwnerOnlyObjectsTest, PlantedObjectsAreRefusedAndLeftAlone) {
  const uid_t me = ::geteuid();
  const struct {
    const char* what;
    Plant plant;
    std::string problem;
    bool needsRoot;
  } cases[] = {
      {"open to others", FileWith(0644, me), "it grants access to group or other users (mode 0644)", false},
      {"open to the group", FileWith(0660, me), "it grants access to group or other users (mode 0660)",
       false},
      {"a symbolic link", LinkToOwnFile, "it is a symbolic link", false},
      {"another user's", FileWith(0600, kOtherUser), "it belongs to user 65534, not to user 0", true},
  };
  int skipped = 0;
  int round = 0;
  for (const auto& c : cases) {
    if (c.needsRoot && me != 0) {
      ++skipped;
      continue;
    }
    testing::TempDir scratch;
    const std::string name = TestName("planted" + std::to_string(round++));
    std::string why;

    const std::string blockPath = user_objects::SharedBlockPath(name);
    ASSERT_TRUE(c.plant(blockPath, scratch.path())) << c.what;
    EXPECT_FALSE(OpenNamedSharedBlock(name, 64, why)) << c.what;
    EXPECT_EQ(why, "refused the shared block " + blockPath + ": " + c.problem) << c.what;
    EXPECT_EQ(::unlink(blockPath.c_str()), 0) << c.what << ": the planted block was left where it was";

    std::optional<std::string> lockPath = user_objects::LockFilePath(name, why);
    ASSERT_TRUE(lockPath) << why;
    ASSERT_TRUE(c.plant(*lockPath, scratch.path())) << c.what;
    EXPECT_FALSE(AcquireMachineLock(name, 0, why)) << c.what;
    EXPECT_EQ(why, "refused the lock file " + *lockPath + ": " + c.problem) << c.what;
    EXPECT_EQ(::unlink(lockPath->c_str()), 0) << c.what << ": the planted lock file was left where it was";
  }
  if (skipped > 0) GTEST_SKIP() << skipped << " case(s) need root to plant another user's objects";
}

}  // namespace
}  // namespace kestrune::platform
