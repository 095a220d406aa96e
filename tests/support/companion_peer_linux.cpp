// The companion stand-in's platform part on Linux: the counter of the user's own block
// "UNIWM_SENDCMD" and its futex (platform/companion_signal.h), and signals to the program.
#include <signal.h>

#include <atomic>

#include "companion_peer_platform.h"
#include "platform/companion_signal.h"
#include "platform/named_objects.h"
#include "platform/object_names.h"

namespace companion_peer {
namespace {

using namespace kestrune::platform;

class CounterWatch final : public SignalWatch {
 public:
  explicit CounterWatch(std::unique_ptr<SharedBlock> block)
      : block_(std::move(block)), counter_(reinterpret_cast<uint32_t*>(block_->Bytes().data())),
        seen_(std::atomic_ref<uint32_t>(*counter_).load()) {}

  bool Wait(uint32_t ms) override {
    WaitForCompanionSignal(counter_, seen_, ms);
    seen_ = std::atomic_ref<uint32_t>(*counter_).load();
    return true;
  }

 private:
  std::unique_ptr<SharedBlock> block_;
  uint32_t* counter_;
  uint32_t seen_;
};

}  // namespace

std::unique_ptr<SignalWatch> WatchSignal(std::string& why) {
  auto block = OpenNamedSharedBlock(SharedObjectName(kCompanionSignalName), kCompanionSignalBytes, why);
  if (!block) return nullptr;
  return std::make_unique<CounterWatch>(std::move(block));
}

bool InterruptProgram(uint32_t pid) { return ::kill(static_cast<pid_t>(pid), SIGINT) == 0; }

void EndProgram(uint32_t pid) { ::kill(static_cast<pid_t>(pid), SIGTERM); }

}  // namespace companion_peer
