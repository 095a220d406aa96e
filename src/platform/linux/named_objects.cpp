// Named shared memory and machine-wide locks on Linux: POSIX shared memory for the blocks, flock(2)
// on small files for the locks. A flock belongs to an open file and goes away with the process that
// holds it, so a crashed holder leaves neither a held lock nor a block that looks in use.
//
// Every object is the effective user's own (platform/linux/private_objects.h): its name carries the
// user id, it is made with mode 0600, lock files lie in a folder only that user can enter, and an
// object under one of these names that belongs to another user or grants group or other access is
// refused. Instances of one user meet; instances of different users (one under sudo, one without)
// never do.
//
// Life of a block: every mapping keeps a shared flock on the block's descriptor, so the number of
// live users is visible to the kernel. An opener that can take the flock exclusively is alone:
// whatever the object holds is left over from users that are gone, and it starts again from zeros.
// The last user to leave removes the name. Opening and leaving both run under the block's own
// machine lock ("NAME.map"), so no one reads the user count while another process changes it.
#include "platform/named_objects.h"

#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>

#include "platform/linux/private_objects.h"

namespace kestrune::platform {
namespace {

using user_objects::FileKind;

// Longest wait for the open/leave lock of a block; it is only ever held for a few system calls.
constexpr uint32_t kMapLockTimeoutMs = 10000;

uint64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void PauseUs(long us) {
  timespec req{us / 1000000, (us % 1000000) * 1000};
  while (nanosleep(&req, &req) != 0 && errno == EINTR) {
  }
}

// Waits before the next try of a lock, pausing a little longer each time. False once deadline has
// passed. flock has no timed form; the holders of these locks keep them for microseconds.
bool PauseUntil(uint64_t deadline, long& pauseUs) {
  if (NowMs() >= deadline) return false;
  PauseUs(pauseUs);
  pauseUs = std::min(pauseUs * 2, 5000L);
  return true;
}

// ThreadSanitizer does not know that flock orders the threads of this process that take one lock
// file; without being told, it reports what such threads guard with the lock (a GlobalVar entry) as
// a race. Each lock file path has a token whose acquire and release mirror the flock's.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
void* SyncTokenOf(const std::string& path) {
  static std::mutex* mutex = new std::mutex;
  static std::map<std::string, char>* tokens = new std::map<std::string, char>;
  std::lock_guard<std::mutex> guard(*mutex);
  return &(*tokens)[path];
}
void NoteAcquired(const std::string& path) { __tsan_acquire(SyncTokenOf(path)); }
void NoteReleased(const std::string& path) { __tsan_release(SyncTokenOf(path)); }
#else
void NoteAcquired(const std::string&) {}
void NoteReleased(const std::string&) {}
#endif

// The holder of a lock file removes it before letting go, so that no lock files pile up. A waiter
// may therefore end up holding a file that is no longer the one the path names; it then tries again
// on the current file.
class FileLock final : public NamedLock {
 public:
  FileLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) { NoteAcquired(path_); }
  ~FileLock() override {
    NoteReleased(path_);
    ::unlink(path_.c_str());  // before unlocking: a waiter must not lock a file that is then removed
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  std::string path_;
  int fd_;
};

// Takes the lock file at path (see AcquireMachineLock).
std::unique_ptr<NamedLock> LockFile(const std::string& path, uint32_t timeoutMs, std::string& why) {
  const uint64_t deadline = NowMs() + timeoutMs;
  long pauseUs = 20;
  for (;;) {
    int fd = user_objects::OpenPrivateFile(FileKind::kLockFile, path, path, "lock file", ::geteuid(), why);
    if (fd < 0) return nullptr;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      if (error == EWOULDBLOCK || error == EINTR) {
        if (PauseUntil(deadline, pauseUs)) continue;
        why.clear();  // only the wait ran out
      } else {
        why = "cannot lock the lock file " + path + ": " + std::system_category().message(error);
      }
      ::close(fd);
      return nullptr;
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino)
      return std::make_unique<FileLock>(path, fd);
    ::close(fd);  // the previous holder removed this file: take the current one
  }
}

class PosixSharedBlock final : public SharedBlock {
 public:
  PosixSharedBlock(std::string shmName, std::string mapLockPath, int fd, uint8_t* bytes, size_t size,
                   bool created)
      : shmName_(std::move(shmName)),
        mapLockPath_(std::move(mapLockPath)),
        fd_(fd),
        bytes_(bytes),
        size_(size),
        created_(created) {}

  ~PosixSharedBlock() override {
    ::munmap(bytes_, size_);
    // The last user removes the name. Should the lock not come, the name stays; the next opener
    // finds no users and starts from zeros all the same.
    std::string why;
    if (auto guard = LockFile(mapLockPath_, kMapLockTimeoutMs, why)) {
      if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) ::shm_unlink(shmName_.c_str());
    }
    ::close(fd_);
  }
  PosixSharedBlock(const PosixSharedBlock&) = delete;
  PosixSharedBlock& operator=(const PosixSharedBlock&) = delete;

  std::span<uint8_t> Bytes() override { return {bytes_, size_}; }
  bool Created() const override { return created_; }

 private:
  std::string shmName_;
  std::string mapLockPath_;  // kept from the open, so leaving takes the same lock file
  int fd_;
  uint8_t* bytes_;
  size_t size_;
  bool created_;
};

}  // namespace

std::unique_ptr<NamedLock> AcquireMachineLock(std::string_view name, uint32_t timeoutMs, std::string& why) {
  if (name.empty()) {
    why = "a lock needs a name";
    return nullptr;
  }
  std::optional<std::string> path = user_objects::LockFilePath(name, why);
  if (!path) return nullptr;
  return LockFile(*path, timeoutMs, why);
}

std::unique_ptr<SharedBlock> OpenNamedSharedBlock(std::string_view name, size_t size, std::string& why) {
  if (name.empty() || size == 0) {
    why = "a shared block needs a name and a size";
    return nullptr;
  }
  std::optional<std::string> mapLockPath = user_objects::LockFilePath(std::string(name) + ".map", why);
  if (!mapLockPath) return nullptr;
  auto guard = LockFile(*mapLockPath, kMapLockTimeoutMs, why);
  if (!guard) {
    if (why.empty()) why = "the shared block " + std::string(name) + " stayed busy";
    return nullptr;
  }

  const std::string shmName = user_objects::SharedBlockName(name);
  const std::string shownPath = user_objects::SharedBlockPath(name);
  int fd = user_objects::OpenPrivateFile(FileKind::kSharedMemory, shmName, shownPath, "shared block",
                                         ::geteuid(), why);
  if (fd < 0) return nullptr;
  auto fail = [&](std::string reason) -> std::unique_ptr<SharedBlock> {
    why = "cannot map the shared block " + shownPath + ": " + reason;
    ::close(fd);
    return nullptr;
  };
  auto systemFail = [&] { return fail(std::system_category().message(errno)); };

  bool created = false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // No other user: drop whatever is left and start from zeros.
    if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) return systemFail();
    created = true;
  } else if (errno != EWOULDBLOCK) {
    return systemFail();
  }
  // Count this mapping as a user (turns the exclusive lock of a creator into a shared one). Under the
  // map lock nobody else asks for the exclusive lock, so this does not wait.
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) return systemFail();

  struct stat st {};
  if (::fstat(fd, &st) != 0) return systemFail();
  if (static_cast<uint64_t>(st.st_size) < size)
    return fail("it holds " + std::to_string(st.st_size) + " bytes, fewer than " + std::to_string(size));
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return systemFail();
  return std::make_unique<PosixSharedBlock>(shmName, *mapLockPath, fd, static_cast<uint8_t*>(p), size,
                                            created);
}

}  // namespace kestrune::platform
