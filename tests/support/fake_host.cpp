#include "support/fake_host.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "platform/named_objects.h"

namespace kestrune::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = (fs::temp_directory_path() /
           ("kestrune_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++)))
              .string();
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

namespace {
int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void FakeHost::WarpClock(uint32_t warp) {
  warp_ = warp;
  warpStartNs_ = SteadyNs();
}

uint64_t FakeHost::WarpedUs() const {
  return static_cast<uint64_t>(SteadyNs() - warpStartNs_) * warp_ / 1000u;
}

void FakeHost::SleepMs(uint32_t ms) {
  if (warp_ == 0) {
    monotonic += ms;
    return;
  }
  std::this_thread::sleep_for(std::chrono::microseconds(uint64_t{ms} * 1000u / warp_));
}

FakeHost::FakeHost() = default;

FakeHost::~FakeHost() = default;

std::string FakeHost::ProgramFolder() const {
  auto slash = programPath.rfind('/');
  return slash == std::string::npos ? "." : programPath.substr(0, slash);
}

void FakeHost::WriteStdout(std::string_view text) {
  std::lock_guard<std::mutex> guard(outputMutex_);
  out += text;
}

void FakeHost::WriteStderr(std::string_view text) {
  std::lock_guard<std::mutex> guard(outputMutex_);
  err += text;
}

std::string FakeHost::Out() const {
  std::lock_guard<std::mutex> guard(outputMutex_);
  return out;
}

std::string FakeHost::Err() const {
  std::lock_guard<std::mutex> guard(outputMutex_);
  return err;
}

bool FakeHost::RandomBytes(std::span<uint8_t> bytes) {
  if (failRandom) return false;
  std::lock_guard<std::mutex> guard(randomMutex_);
  if (!randomStarted_) {
    randomState_ = randomSeed;
    randomStarted_ = true;
  }
  for (uint8_t& b : bytes) {  // splitmix64, one byte per step: reproducible and well spread
    randomState_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = randomState_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    b = static_cast<uint8_t>(z ^ (z >> 31));
  }
  return true;
}

bool FakeHost::CreateFolders(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return fs::is_directory(path, ec);
}

// ---- Named shared memory and machine-wide locks ----

namespace {

// A lock with a timed wait, released by destroying its FakeLock. Built on a condition variable
// rather than std::timed_mutex, whose timed wait ThreadSanitizer does not follow.
struct FakeMutex {
  std::mutex mutex;
  std::condition_variable released;
  bool held = false;

  bool TakeWithin(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!released.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !held; })) return false;
    held = true;
    return true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      held = false;
    }
    released.notify_one();
  }
};

// The process-wide namespace of fake blocks and locks. Never destroyed, so mappings held in static
// objects may outlive every test.
struct FakeNamespace {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<std::vector<uint8_t>>> blocks;
  std::map<std::string, std::shared_ptr<FakeMutex>> locks;
};

FakeNamespace& Namespace() {
  static FakeNamespace* ns = new FakeNamespace;
  return *ns;
}

class FakeSharedBlock final : public platform::SharedBlock {
 public:
  FakeSharedBlock(std::shared_ptr<std::vector<uint8_t>> bytes, size_t size, bool created)
      : bytes_(std::move(bytes)), size_(size), created_(created) {}
  std::span<uint8_t> Bytes() override { return {bytes_->data(), size_}; }
  bool Created() const override { return created_; }

 private:
  std::shared_ptr<std::vector<uint8_t>> bytes_;
  size_t size_;
  bool created_;
};

class FakeLock final : public platform::NamedLock {
 public:
  explicit FakeLock(std::shared_ptr<FakeMutex> mutex) : mutex_(std::move(mutex)) {}
  ~FakeLock() override { mutex_->Release(); }

 private:
  std::shared_ptr<FakeMutex> mutex_;
};

}  // namespace

std::unique_ptr<platform::SharedBlock> FakeHost::OpenSharedBlock(std::string_view name, size_t size,
                                                                 std::string& why) {
  if (failSharedBlocks) {
    why = "the fake host maps no shared blocks";
    return nullptr;
  }
  if (!refusal.empty()) {
    why = refusal;
    return nullptr;
  }
  if (systemNamedObjects) return platform::OpenNamedSharedBlock(name, size, why);
  if (name.empty() || size == 0) {
    why = "a shared block needs a name and a size";
    return nullptr;
  }
  FakeNamespace& ns = Namespace();
  std::lock_guard<std::mutex> guard(ns.mutex);
  auto& slot = ns.blocks[std::string(name)];
  std::shared_ptr<std::vector<uint8_t>> bytes = slot.lock();
  const bool created = !bytes;
  if (created) {
    bytes = std::make_shared<std::vector<uint8_t>>(size, 0);
    slot = bytes;
  } else if (bytes->size() < size) {
    why = "the shared block " + std::string(name) + " is smaller than asked for";
    return nullptr;
  }
  return std::make_unique<FakeSharedBlock>(bytes, size, created);
}

std::unique_ptr<platform::NamedLock> FakeHost::AcquireNamedLock(std::string_view name, uint32_t timeoutMs,
                                                                std::string& why) {
  {
    std::lock_guard<std::mutex> guard(lockLogMutex_);
    lockLog_.emplace_back(name);
  }
  why.clear();
  if (failNamedLocks) return nullptr;
  if (!refusal.empty()) {
    why = refusal;
    return nullptr;
  }
  if (systemNamedObjects) return platform::AcquireMachineLock(name, timeoutMs, why);
  if (name.empty()) {
    why = "a lock needs a name";
    return nullptr;
  }
  std::shared_ptr<FakeMutex> mutex;
  {
    FakeNamespace& ns = Namespace();
    std::lock_guard<std::mutex> guard(ns.mutex);
    auto& slot = ns.locks[std::string(name)];
    if (!slot) slot = std::make_shared<FakeMutex>();
    mutex = slot;
  }
  if (!mutex->TakeWithin(timeoutMs)) return nullptr;
  return std::make_unique<FakeLock>(mutex);
}

FakeHost& SystemObjectsHost() {
  static FakeHost* host = [] {
    auto* h = new FakeHost;
    h->systemNamedObjects = true;
    return h;
  }();
  return *host;
}

std::vector<std::string> FakeHost::LockLog() const {
  std::lock_guard<std::mutex> guard(lockLogMutex_);
  return lockLog_;
}

}  // namespace kestrune::testing
