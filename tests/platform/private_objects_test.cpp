// The places of one user's named objects on Linux: the lock folder and what makes a folder or file
// that user's own. Cases that hand a file to another user need root; they are skipped otherwise.
#include "platform/linux/private_objects.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

#include "support/fake_host.h"

namespace kestrune::platform::user_objects {
namespace {

constexpr uid_t kOtherUser = 65534;

// Sets the umask for the life of the object.
class Umask {
 public:
  explicit Umask(mode_t mask) : old_(::umask(mask)) {}
  ~Umask() { ::umask(old_); }

 private:
  mode_t old_;
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// What a case puts at a path before the folder is looked for; false when it cannot.
using Plant = std::function<bool(const std::string& path, const std::string& scratch)>;

bool Nothing(const std::string&, const std::string&) { return true; }
Plant Folder(mode_t mode, uid_t owner = ::geteuid()) {
  return [mode, owner](const std::string& path, const std::string&) {
    return ::mkdir(path.c_str(), mode) == 0 && ::chmod(path.c_str(), mode) == 0 &&
           ::chown(path.c_str(), owner, static_cast<gid_t>(-1)) == 0;
  };
}
// A symbolic link to a folder that would itself pass.
bool LinkToPrivateFolder(const std::string& path, const std::string& scratch) {
  const std::string target = scratch + "/target";
  return ::mkdir(target.c_str(), 0700) == 0 && ::chmod(target.c_str(), 0700) == 0 &&
         ::symlink(target.c_str(), path.c_str()) == 0;
}
bool PlainFile(const std::string& path, const std::string&) {
  FILE* f = std::fopen(path.c_str(), "w");
  return f != nullptr && std::fclose(f) == 0;
}

TEST(PrivateFolderTest, OnlyAFolderOfOursWithMode0700IsTaken) {
  const uid_t me = ::geteuid();
  const std::string who = std::to_string(me);
  const struct {
    const char* what;
    Plant plant;
    const char* problem;  // nullptr: the folder is taken
    bool needsRoot;
  } cases[] = {
      {"missing: made", Nothing, nullptr, false},
      {"ours, 0700", Folder(0700), nullptr, false},
      {"open to others", Folder(0755), "it grants access to group or other users (mode 0755)", false},
      {"no write for us", Folder(0500), "its mode is 0500, not 0700", false},
      {"a symbolic link", LinkToPrivateFolder, "it is a symbolic link", false},
      {"a file", PlainFile, "it is not a folder", false},
      {"another user's", Folder(0700, kOtherUser), "it belongs to user 65534, not to user 0", true},
  };
  int skipped = 0;
  for (const auto& c : cases) {
    if (c.needsRoot && me != 0) {
      ++skipped;
      continue;
    }
    testing::TempDir parent;
    const std::string path = parent.path() + "/kestrune-" + who;
    ASSERT_TRUE(c.plant(path, parent.path())) << c.what;
    Umask narrow(0277);  // a new folder must still come out as 0700
    std::string why;
    std::optional<std::string> folder = PrivateFolderIn(parent.path(), me, why);
    if (c.problem == nullptr) {
      EXPECT_EQ(folder, path) << c.what << ": " << why;
      EXPECT_EQ(ModeOf(path), 0700u) << c.what;
    } else {
      EXPECT_EQ(folder, std::nullopt) << c.what;
      EXPECT_EQ(why, "refused the lock folder " + path + ": " + c.problem) << c.what;
    }
  }
  if (skipped > 0) GTEST_SKIP() << skipped << " case(s) need root to hand a folder to another user";
}

TEST(PrivateFolderTest, TheRuntimeFolderServesOnlyWhenItIsOurOwn) {
  const uid_t me = ::geteuid();
  testing::TempDir scratch;
  const std::string fallback = scratch.path() + "/kestrune-" + std::to_string(me);
  const struct {
    const char* what;
    Plant plant;  // at scratch/run
    bool used;
    bool needsRoot;
  } cases[] = {
      {"ours, no group or other bits", Folder(0700), true, false},
      {"ours, group may read", Folder(0750), false, false},
      {"a symbolic link to a private folder", LinkToPrivateFolder, false, false},
      {"a file", PlainFile, false, false},
      {"another user's", Folder(0700, kOtherUser), false, true},
  };
  int skipped = 0;
  for (const auto& c : cases) {
    if (c.needsRoot && me != 0) {
      ++skipped;
      continue;
    }
    testing::TempDir parent;
    const std::string run = parent.path() + "/run";
    ASSERT_TRUE(c.plant(run, parent.path())) << c.what;
    std::string why;
    EXPECT_EQ(UserLockFolder(run.c_str(), scratch.path(), me, why), c.used ? run : fallback) << c.what << why;
    EXPECT_EQ(UserLockFolder((run + "/").c_str(), scratch.path(), me, why), c.used ? run : fallback)
        << c.what;
  }
  std::string why;
  EXPECT_EQ(UserLockFolder(nullptr, scratch.path(), me, why), fallback);
  EXPECT_EQ(UserLockFolder("relative/run", scratch.path(), me, why), fallback);
  if (skipped > 0) GTEST_SKIP() << skipped << " case(s) need root to hand a folder to another user";
}

TEST(PrivateFolderTest, NamesCarryTheUserAndStayOneComponent) {
  EXPECT_EQ(UserObjectName("GlobalVar", 1000), "kestrune.1000.GlobalVar");
  EXPECT_EQ(UserObjectName(std::string_view("a/b\0c", 5), 0), "kestrune.0.a_b_c");
  EXPECT_EQ(SharedBlockPath("X"), "/dev/shm" + SharedBlockName("X"));
  EXPECT_EQ(SharedBlockName("X"), "/kestrune." + std::to_string(::geteuid()) + ".X");
}

}  // namespace
}  // namespace kestrune::platform::user_objects
