#include "platform/linux/private_objects.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace kestrune::platform::user_objects {
namespace {

constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kGroupOtherBits = 077;
// A file that vanishes between two opens is made anew; a few rounds are enough for any honest race.
constexpr int kOpenRounds = 8;

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string SystemText(int error) { return std::system_category().message(error); }

int OpenAs(FileKind kind, const std::string& name, int flags, mode_t mode) {
  if (kind == FileKind::kSharedMemory) return ::shm_open(name.c_str(), flags | O_CLOEXEC, mode);
  return ::open(name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

std::string Refused(std::string_view what, const std::string& path, const std::string& problem) {
  return "refused the " + std::string(what) + " " + path + ": " + problem;
}

std::string Failed(std::string_view verb, std::string_view what, const std::string& path, int error) {
  return "cannot " + std::string(verb) + " the " + std::string(what) + " " + path + ": " + SystemText(error);
}

}  // namespace

std::string UserObjectName(std::string_view name, uid_t uid) {
  std::string component(name);
  std::replace(component.begin(), component.end(), '/', '_');
  std::replace(component.begin(), component.end(), '\0', '_');
  return "kestrune." + std::to_string(uid) + "." + component;
}

std::string PrivacyProblem(const struct stat& st, uid_t uid, bool folder) {
  if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
  if (folder && !S_ISDIR(st.st_mode)) return "it is not a folder";
  if (!folder && !S_ISREG(st.st_mode)) return "it is not a regular file";
  if (st.st_uid != uid)
    return "it belongs to user " + std::to_string(st.st_uid) + ", not to user " + std::to_string(uid);
  if ((st.st_mode & kGroupOtherBits) != 0)
    return "it grants access to group or other users (mode " + Octal(st.st_mode) + ")";
  return "";
}

std::optional<std::string> PrivateFolderIn(const std::string& parent, uid_t uid, std::string& why) {
  const std::string path = parent + "/kestrune-" + std::to_string(uid);
  if (::mkdir(path.c_str(), kFolderMode) == 0) {
    // The umask may have taken bits away. The folder is new and ours, so the path still names it.
    if (::chmod(path.c_str(), kFolderMode) != 0) {
      why = Failed("set the mode of", "lock folder", path, errno);
      return std::nullopt;
    }
  } else if (errno != EEXIST) {
    why = Failed("make", "lock folder", path, errno);
    return std::nullopt;
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    why = Failed("inspect", "lock folder", path, errno);
    return std::nullopt;
  }
  std::string problem = PrivacyProblem(st, uid, true);
  if (problem.empty() && (st.st_mode & 0777) != kFolderMode)
    problem = "its mode is " + Octal(st.st_mode) + ", not 0700";
  if (!problem.empty()) {
    why = Refused("lock folder", path, problem);
    return std::nullopt;
  }
  return path;
}

std::optional<std::string> UserLockFolder(const char* runtimeDir, const std::string& fallbackParent,
                                          uid_t uid, std::string& why) {
  if (runtimeDir != nullptr && runtimeDir[0] == '/') {
    std::string folder(runtimeDir);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    struct stat st {};
    if (::lstat(folder.c_str(), &st) == 0 && PrivacyProblem(st, uid, true).empty()) return folder;
  }
  return PrivateFolderIn(fallbackParent, uid, why);
}

int OpenPrivateFile(FileKind kind, const std::string& name, const std::string& shownPath,
                    std::string_view what, uid_t uid, std::string& why) {
  for (int round = 0; round < kOpenRounds; ++round) {
    // Create only what is missing: an existing file is opened without O_CREAT and then checked.
    int fd = OpenAs(kind, name, O_RDWR | O_CREAT | O_EXCL, kFileMode);
    if (fd >= 0) {
      if (::fchmod(fd, kFileMode) == 0) return fd;  // the umask may have taken bits away
      why = Failed("set the mode of", what, shownPath, errno);
      ::close(fd);
      return -1;
    }
    if (errno != EEXIST) {
      why = Failed("create", what, shownPath, errno);
      return -1;
    }
    fd = OpenAs(kind, name, O_RDWR, 0);
    if (fd < 0) {
      const int error = errno;
      if (error == ENOENT) continue;  // removed since the first try: make it anew
      struct stat st {};
      std::string problem = ::lstat(shownPath.c_str(), &st) == 0 ? PrivacyProblem(st, uid, false) : "";
      why = problem.empty() ? Failed("open", what, shownPath, error) : Refused(what, shownPath, problem);
      return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      why = Failed("inspect", what, shownPath, errno);
      ::close(fd);
      return -1;
    }
    if (std::string problem = PrivacyProblem(st, uid, false); !problem.empty()) {
      why = Refused(what, shownPath, problem);
      ::close(fd);
      return -1;
    }
    return fd;
  }
  why = "cannot open the " + std::string(what) + " " + shownPath + ": it disappears again and again";
  return -1;
}

std::string SharedBlockName(std::string_view name) { return "/" + UserObjectName(name, ::geteuid()); }

std::string SharedBlockPath(std::string_view name) { return "/dev/shm" + SharedBlockName(name); }

std::optional<std::string> LockFilePath(std::string_view name, std::string& why) {
  const uid_t uid = ::geteuid();
  std::optional<std::string> folder = UserLockFolder(std::getenv("XDG_RUNTIME_DIR"), "/tmp", uid, why);
  if (!folder) return std::nullopt;
  return *folder + "/" + UserObjectName(name, uid) + ".lock";
}

}  // namespace kestrune::platform::user_objects
