// Named shared memory and machine-wide locks on Linux: POSIX shared memory for the blocks, flock(2)
// on small files for the locks. A flock belongs to an open file and goes away with the process that
// holds it, so a crashed holder leaves neither a held lock nor a block that looks in use.
//
// Life of a block: every mapping keeps a shared flock on the block's descriptor, so the number of
// live users is visible to the kernel. An opener that can take the flock exclusively is alone:
// whatever the object holds is left over from users that are gone, and it starts again from zeros.
// The last user to leave removes the name. Opening and leaving both run under the block's own
// machine lock ("NAME.map"), so no one reads the user count while another process changes it.
#include "platform/named_objects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace kestrune::platform {
namespace {

// Longest wait for the open/leave lock of a block; it is only ever held for a few system calls.
constexpr uint32_t kMapLockTimeoutMs = 10000;

// /dev/shm is one tmpfs per machine and shared by every service; /tmp only when it is missing.
// A plain pointer, not a std::string: mappings held in static objects are released at exit, after
// function-local statics made later than them are gone.
const char* LockFolder() {
  static const char* const folder = [] {
    struct stat st {};
    return ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
  }();
  return folder;
}

// A name as a single path component.
std::string Component(std::string_view name) {
  std::string out(name);
  std::replace(out.begin(), out.end(), '/', '_');
  std::replace(out.begin(), out.end(), '\0', '_');
  return out;
}

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

// The holder of a lock file removes it before letting go, so that no lock files pile up. A waiter
// may therefore end up holding a file that is no longer the one the path names; it then tries again
// on the current file.
class FileLock final : public NamedLock {
 public:
  FileLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~FileLock() override {
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

class PosixSharedBlock final : public SharedBlock {
 public:
  PosixSharedBlock(std::string shmName, std::string mapLockName, int fd, uint8_t* bytes, size_t size,
                   bool created)
      : shmName_(std::move(shmName)),
        mapLockName_(std::move(mapLockName)),
        fd_(fd),
        bytes_(bytes),
        size_(size),
        created_(created) {}

  ~PosixSharedBlock() override {
    ::munmap(bytes_, size_);
    // The last user removes the name. Should the lock not come, the name stays; the next opener
    // finds no users and starts from zeros all the same.
    if (auto guard = AcquireMachineLock(mapLockName_, kMapLockTimeoutMs)) {
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
  std::string mapLockName_;
  int fd_;
  uint8_t* bytes_;
  size_t size_;
  bool created_;
};

}  // namespace

std::unique_ptr<NamedLock> AcquireMachineLock(std::string_view name, uint32_t timeoutMs) {
  if (name.empty()) return nullptr;
  const std::string path = std::string(LockFolder()) + "/kestrune." + Component(name) + ".lock";
  const uint64_t deadline = NowMs() + timeoutMs;
  long pauseUs = 20;
  for (;;) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // Another user's lock file may be read-only to us; flock works on any open file.
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || !PauseUntil(deadline, pauseUs)) {
        ::close(fd);
        return nullptr;
      }
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino)
      return std::make_unique<FileLock>(path, fd);
    ::close(fd);  // the previous holder removed this file: take the current one
  }
}

std::unique_ptr<SharedBlock> OpenNamedSharedBlock(std::string_view name, size_t size) {
  if (name.empty() || size == 0) return nullptr;
  const std::string shmName = "/kestrune." + Component(name);
  const std::string mapLockName = std::string(name) + ".map";
  auto guard = AcquireMachineLock(mapLockName, kMapLockTimeoutMs);
  if (!guard) return nullptr;

  int fd = ::shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  auto fail = [fd]() -> std::unique_ptr<SharedBlock> {
    ::close(fd);
    return nullptr;
  };

  bool created = false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // No other user: drop whatever is left and start from zeros.
    if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) return fail();
    created = true;
  } else if (errno != EWOULDBLOCK) {
    return fail();
  }
  // Count this mapping as a user (turns the exclusive lock of a creator into a shared one). Under the
  // map lock nobody else asks for the exclusive lock, so this does not wait.
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) return fail();

  struct stat st {};
  if (::fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < size) return fail();
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return fail();
  return std::make_unique<PosixSharedBlock>(shmName, mapLockName, fd, static_cast<uint8_t*>(p), size,
                                            created);
}

}  // namespace kestrune::platform
