// The barrier block on Linux: POSIX shared memory under the user's own name ("kestrune.UID.NAME",
// mode 0600, refused when it belongs to another user or is open to others), a process-shared robust
// mutex inside the block, and a shared futex on the generation word for the waits.
//
// A robust mutex whose holder dies is handed to the next locker with EOWNERDEAD; it is marked
// consistent again and the locker is told (repaired), so a crash never blocks the others.
//
// Making and leaving a block run under the lock file "NAME.init": the first opener sizes the block
// and sets up the mutex before anyone else can map it. Every mapping keeps a shared flock on its
// descriptor; an opener that gets the flock exclusively is alone, and the block (left by instances
// that are gone) starts again from zeros. The last to leave removes the name.
#include "platform/barrier_block.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/linux/private_objects.h"
#include "platform/named_objects.h"

namespace kestrune::platform {
namespace {

static_assert(std::endian::native == std::endian::little, "the block's words are read natively by the futex");
static_assert(sizeof(pthread_mutex_t) <= kBarrierLockBytes);
static_assert(alignof(pthread_mutex_t) <= 8);

// Longest wait for the block's lock. Holders keep it for a few microseconds; a holder that is
// stopped (SIGSTOP, a debugger) must not hang every other instance for ever.
constexpr int kLockWaitSec = 10;
constexpr uint32_t kInitLockTimeoutMs = 10000;

std::string SystemText(int error) { return std::system_category().message(error); }

std::atomic_ref<uint32_t> Word(uint8_t* bytes, size_t offset) {
  return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(bytes + offset));
}

pthread_mutex_t* MutexIn(uint8_t* bytes) {
  return reinterpret_cast<pthread_mutex_t*>(bytes + kBarrierLockOffset);
}

bool InitialiseMutex(uint8_t* bytes, std::string& why) {
  pthread_mutexattr_t attr;
  int rc = pthread_mutexattr_init(&attr);
  if (rc == 0) rc = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  if (rc == 0) rc = pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  if (rc == 0) rc = pthread_mutex_init(MutexIn(bytes), &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) why = "cannot set up the lock of the barrier block: " + SystemText(rc);
  return rc == 0;
}

long Futex(uint32_t* word, int op, uint32_t value, const timespec* timeout) {
  return ::syscall(SYS_futex, word, op, value, timeout, nullptr, 0);
}

class LinuxBarrierBlock final : public BarrierBlock {
 public:
  LinuxBarrierBlock(std::string shmName, std::string initLockName, int fd, uint8_t* bytes)
      : shmName_(std::move(shmName)), initLockName_(std::move(initLockName)), fd_(fd), bytes_(bytes) {}

  ~LinuxBarrierBlock() override {
    std::string why;
    auto guard = AcquireMachineLock(initLockName_, kInitLockTimeoutMs, why);
    ::munmap(bytes_, kBarrierBlockBytes);
    // Alone (no other mapping holds its shared flock): the last one out removes the name.
    if (guard && ::flock(fd_, LOCK_EX | LOCK_NB) == 0) ::shm_unlink(shmName_.c_str());
    ::close(fd_);
  }
  LinuxBarrierBlock(const LinuxBarrierBlock&) = delete;
  LinuxBarrierBlock& operator=(const LinuxBarrierBlock&) = delete;

  bool Lock(bool& repaired, std::string& why) override {
    repaired = false;
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += kLockWaitSec;
    int rc;
    while ((rc = pthread_mutex_timedlock(MutexIn(bytes_), &deadline)) == EINTR) {
    }
    if (rc == EOWNERDEAD) {
      // The holder died holding it: the lock is ours now; mark it usable again.
      rc = pthread_mutex_consistent(MutexIn(bytes_));
      repaired = true;
    }
    if (rc == 0) return true;
    if (rc == ETIMEDOUT)
      why = "the barrier block /dev/shm" + shmName_ + " stayed locked for " + std::to_string(kLockWaitSec) +
            " s";
    else
      why = "cannot lock the barrier block /dev/shm" + shmName_ + ": " + SystemText(rc);
    return false;
  }

  void Unlock() override { pthread_mutex_unlock(MutexIn(bytes_)); }

  std::span<uint8_t> Bytes() override { return {bytes_, kBarrierBlockBytes}; }

  void WakeWaiters() override {
    Futex(reinterpret_cast<uint32_t*>(bytes_ + kBarrierGenerationOffset), FUTEX_WAKE, INT_MAX, nullptr);
  }

  void WaitForChange(uint32_t seen, uint32_t ms) override {
    timespec timeout{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    // Returns at once when the word no longer holds seen (EAGAIN); a signal or a wake ends it too.
    Futex(reinterpret_cast<uint32_t*>(bytes_ + kBarrierGenerationOffset), FUTEX_WAIT, seen, &timeout);
  }

 private:
  std::string shmName_;
  std::string initLockName_;
  int fd_;
  uint8_t* bytes_;
};

class LinuxBarrierSystem final : public BarrierSystem {
 public:
  std::unique_ptr<BarrierBlock> Open(std::string_view name, std::string& why) override {
    if (name.empty()) {
      why = "a barrier block needs a name";
      return nullptr;
    }
    const std::string initLockName = std::string(name) + ".init";
    auto guard = AcquireMachineLock(initLockName, kInitLockTimeoutMs, why);
    if (!guard) {
      if (why.empty()) why = "the barrier block " + std::string(name) + " stayed busy";
      return nullptr;
    }
    const std::string shmName = user_objects::SharedBlockName(name);
    const std::string shown = user_objects::SharedBlockPath(name);
    int fd = user_objects::OpenPrivateFile(user_objects::FileKind::kSharedMemory, shmName, shown,
                                           "barrier block", ::geteuid(), why);
    if (fd < 0) return nullptr;
    auto fail = [&](const std::string& reason) -> std::unique_ptr<BarrierBlock> {
      why = "refused the barrier block " + shown + ": " + reason;
      ::close(fd);
      return nullptr;
    };
    auto systemFail = [&](const char* step) -> std::unique_ptr<BarrierBlock> {
      why = std::string("cannot ") + step + " the barrier block " + shown + ": " + SystemText(errno);
      ::close(fd);
      return nullptr;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) return systemFail("inspect");
    // A size of 0: just made (by us, or by an opener that died before sizing it).
    const bool fresh = st.st_size == 0;
    if (!fresh && static_cast<uint64_t>(st.st_size) != kBarrierBlockBytes)
      return fail("it holds " + std::to_string(st.st_size) + " bytes, not " +
                  std::to_string(kBarrierBlockBytes));
    const bool alone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (!alone && errno != EWOULDBLOCK) return systemFail("lock");
    if (fresh && ::ftruncate(fd, static_cast<off_t>(kBarrierBlockBytes)) != 0) return systemFail("size");
    void* p = ::mmap(nullptr, kBarrierBlockBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return systemFail("map");
    auto* bytes = static_cast<uint8_t*>(p);
    if (!fresh) {
      const uint32_t magic = Word(bytes, kBarrierMagicOffset).load();
      if (magic != kBarrierMagic) {
        ::munmap(p, kBarrierBlockBytes);
        char text[80];
        std::snprintf(text, sizeof text, "its magic is 0x%08X, not 0x%08X", magic, kBarrierMagic);
        return fail(text);
      }
    }
    if (fresh || alone) {
      // Nobody else maps it: whatever it holds is left over from instances that are gone.
      std::memset(bytes, 0, kBarrierBlockBytes);
      if (!InitialiseMutex(bytes, why)) {
        ::munmap(p, kBarrierBlockBytes);
        ::close(fd);
        return nullptr;
      }
      Word(bytes, kBarrierGenerationOffset).store(1);
      Word(bytes, kBarrierMagicOffset).store(kBarrierMagic);
    }
    // Count this mapping as a user (turns an exclusive flock into a shared one).
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
      ::munmap(p, kBarrierBlockBytes);
      return systemFail("lock");
    }
    return std::make_unique<LinuxBarrierBlock>(shmName, initLockName, fd, bytes);
  }

  ProcessIdentity Self() override {
    const uint32_t pid = static_cast<uint32_t>(::getpid());
    ProcessState state = ReadState(pid);
    return {pid, state.startTime};
  }

  bool Alive(const ProcessIdentity& process) override {
    if (process.pid == 0 || process.pid > static_cast<uint32_t>(INT_MAX)) return false;
    if (::kill(static_cast<pid_t>(process.pid), 0) != 0 && errno != EPERM) return false;
    ProcessState state = ReadState(process.pid);
    if (!state.read) return true;  // it exists, but /proc does not tell more
    if (state.state == 'Z' || state.state == 'X') return false;
    return state.startTime == process.startTime;
  }

 private:
  struct ProcessState {
    bool read = false;
    char state = '?';
    uint64_t startTime = 0;
  };

  // Fields 3 (state) and 22 (start time in clock ticks after boot) of /proc/PID/stat. The command
  // name (field 2) may hold blanks and parentheses, so the fields are counted after its last ')'.
  static ProcessState ReadState(uint32_t pid) {
    ProcessState result;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!in || !std::getline(in, line)) return result;
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return result;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    for (int index = 3; index <= 22 && fields >> field; ++index) {
      if (index == 3) result.state = field.empty() ? '?' : field[0];
      if (index == 22) {
        result.startTime = std::strtoull(field.c_str(), nullptr, 10);
        result.read = true;
      }
    }
    return result;
  }
};

}  // namespace

BarrierSystem& DefaultBarrierSystem() {
  static LinuxBarrierSystem* system = new LinuxBarrierSystem;
  return *system;
}

}  // namespace kestrune::platform
