// The error-stop broadcast on Linux: a counter and the sender's id in a block of the user's own,
// and a shared futex on the counter.
#include "platform/error_stop_signal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <climits>

#include "platform/object_names.h"

namespace kestrune::platform {
namespace {

constexpr size_t kBlockBytes = 8;
constexpr uint32_t kLockTimeoutMs = 5000;
std::string BlockName() { return SharedObjectName(kErrorStopName); }
std::string LockName() { return BlockName() + "Lock"; }

std::atomic_ref<uint32_t> Counter(SharedBlock& block) {
  return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(block.Bytes().data()));
}
std::atomic_ref<uint32_t> Sender(SharedBlock& block) {
  return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(block.Bytes().data() + 4));
}

class LinuxErrorStopListener final : public ErrorStopListener {
 public:
  LinuxErrorStopListener(Host& host, std::unique_ptr<SharedBlock> block)
      : host_(host), block_(std::move(block)), seen_(Counter(*block_).load()) {}

  std::optional<uint64_t> Wait(uint32_t ms) override {
    timespec timeout{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    ::syscall(SYS_futex, block_->Bytes().data(), FUTEX_WAIT, seen_, &timeout, nullptr, 0);
    std::string why;
    auto lock = host_.AcquireNamedLock(LockName(), kLockTimeoutMs, why);
    if (!lock) return std::nullopt;
    const uint32_t now = Counter(*block_).load();
    if (now == seen_) return std::nullopt;
    seen_ = now;
    const uint32_t sender = Sender(*block_).load();
    if (sender == host_.ProcessId()) return std::nullopt;
    return sender;
  }

 private:
  Host& host_;
  std::unique_ptr<SharedBlock> block_;
  uint32_t seen_;
};

}  // namespace

bool BroadcastErrorStop(Host& host, uint64_t sender, std::string& why) {
  auto block = host.OpenSharedBlock(BlockName(), kBlockBytes, why);
  if (!block) return false;
  {
    auto lock = host.AcquireNamedLock(LockName(), kLockTimeoutMs, why);
    if (!lock) {
      if (why.empty()) why = "the lock " + LockName() + " stayed taken";
      return false;
    }
    Sender(*block).store(static_cast<uint32_t>(sender));
    Counter(*block).fetch_add(1);
  }
  ::syscall(SYS_futex, block->Bytes().data(), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
  return true;
}

std::unique_ptr<ErrorStopListener> ListenForErrorStops(Host& host, std::string& why) {
  auto block = host.OpenSharedBlock(BlockName(), kBlockBytes, why);
  if (!block) return nullptr;
  return std::make_unique<LinuxErrorStopListener>(host, std::move(block));
}

}  // namespace kestrune::platform
