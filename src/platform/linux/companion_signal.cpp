// The companion signal on Linux: a counter in a block of the user's own, and a shared futex on it.
#include "platform/companion_signal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <climits>

#include "platform/object_names.h"

namespace kestrune::platform {

bool SignalCompanion(Host& host, std::string& why) {
  std::unique_ptr<SharedBlock> block =
      host.OpenSharedBlock(SharedObjectName(kCompanionSignalName), kCompanionSignalBytes, why);
  if (!block) return false;
  auto* word = reinterpret_cast<uint32_t*>(block->Bytes().data());
  std::atomic_ref<uint32_t>(*word).fetch_add(1);
  ::syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
  return true;
}

void WaitForCompanionSignal(uint32_t* counter, uint32_t seen, uint32_t ms) {
  timespec timeout{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  ::syscall(SYS_futex, counter, FUTEX_WAIT, seen, &timeout, nullptr, 0);
}

}  // namespace kestrune::platform
