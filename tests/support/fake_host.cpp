#include "support/fake_host.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>

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

FakeHost::FakeHost() = default;

FakeHost::~FakeHost() = default;

std::string FakeHost::ProgramFolder() const {
  auto slash = programPath.rfind('/');
  return slash == std::string::npos ? "." : programPath.substr(0, slash);
}

bool FakeHost::CreateFolders(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return fs::is_directory(path, ec);
}

// ---- Named shared memory and machine-wide locks ----

namespace {

// The process-wide namespace of fake blocks and locks. Never destroyed, so mappings held in static
// objects may outlive every test.
struct FakeNamespace {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<std::vector<uint8_t>>> blocks;
  std::map<std::string, std::shared_ptr<std::timed_mutex>> locks;
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
  explicit FakeLock(std::shared_ptr<std::timed_mutex> mutex) : mutex_(std::move(mutex)) {}
  ~FakeLock() override { mutex_->unlock(); }

 private:
  std::shared_ptr<std::timed_mutex> mutex_;
};

}  // namespace

std::unique_ptr<platform::SharedBlock> FakeHost::OpenSharedBlock(std::string_view name, size_t size) {
  if (failSharedBlocks) return nullptr;
  if (systemNamedObjects) return platform::OpenNamedSharedBlock(name, size);
  if (name.empty() || size == 0) return nullptr;
  FakeNamespace& ns = Namespace();
  std::lock_guard<std::mutex> guard(ns.mutex);
  auto& slot = ns.blocks[std::string(name)];
  std::shared_ptr<std::vector<uint8_t>> bytes = slot.lock();
  const bool created = !bytes;
  if (created) {
    bytes = std::make_shared<std::vector<uint8_t>>(size, 0);
    slot = bytes;
  } else if (bytes->size() < size) {
    return nullptr;
  }
  return std::make_unique<FakeSharedBlock>(bytes, size, created);
}

std::unique_ptr<platform::NamedLock> FakeHost::AcquireNamedLock(std::string_view name, uint32_t timeoutMs) {
  {
    std::lock_guard<std::mutex> guard(lockLogMutex_);
    lockLog_.emplace_back(name);
  }
  if (failNamedLocks) return nullptr;
  if (systemNamedObjects) return platform::AcquireMachineLock(name, timeoutMs);
  if (name.empty()) return nullptr;
  std::shared_ptr<std::timed_mutex> mutex;
  {
    FakeNamespace& ns = Namespace();
    std::lock_guard<std::mutex> guard(ns.mutex);
    auto& slot = ns.locks[std::string(name)];
    if (!slot) slot = std::make_shared<std::timed_mutex>();
    mutex = slot;
  }
  if (!mutex->try_lock_for(std::chrono::milliseconds(timeoutMs))) return nullptr;
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
