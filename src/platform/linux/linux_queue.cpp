#include "platform/linux/linux_queue.h"

#include <algorithm>
#include <cstring>

#include "platform/linux/linux_device_tree.h"
#include "platform/linux/pool_queue.h"
#include "platform/linux/uring_queue.h"

namespace kestrune::platform::linux_dev {

std::unique_ptr<AsyncQueue> OpenLinuxQueue(const SysRoot& sys, const std::string& path,
                                           const QueueOptions& options, Host& host, QueueMechanism mechanism,
                                           std::string& why) {
  if (options.depth == 0 || options.depth > kMaxQueueDepth) {
    why = "a queue has a depth of 1 to " + std::to_string(kMaxQueueDepth) + " requests";
    return nullptr;
  }
  std::unique_ptr<QueueTarget> target = QueueTarget::Open(sys, path, options, why);
  if (!target) return nullptr;
  const std::string threads = std::to_string(std::min(options.depth, PoolQueue::kMaxThreads));
  if (mechanism == QueueMechanism::kThreadPool)
    return std::make_unique<PoolQueue>(
        std::move(target), host,
        "io_uring is not used: requests run on " + threads + " threads with pread/pwrite");
  int error = 0;
  std::unique_ptr<UringQueue> ring = UringQueue::Open(target, host, error);
  if (ring) return ring;
  const std::string cause = std::string("io_uring_queue_init: ") + std::strerror(error);
  if (mechanism == QueueMechanism::kIoUring) {
    why = "io_uring is not available here (" + cause + ")";
    return nullptr;
  }
  return std::make_unique<PoolQueue>(std::move(target), host,
                                     "io_uring is not available here (" + cause + "); requests run on " +
                                         threads + " threads with pread/pwrite");
}

std::unique_ptr<AsyncQueue> LinuxDeviceTree::OpenQueue(const std::string& path, const QueueOptions& options,
                                                       Host& host, std::string& why) {
  return OpenLinuxQueue(sys_, path, options, host, QueueMechanism::kBest, why);
}

}  // namespace kestrune::platform::linux_dev
