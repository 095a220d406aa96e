// Opening a Linux queue (async_queue.h) on a block device or a regular file: io_uring where the
// system sets a ring up, else the thread pool with a notice that says why.
#pragma once

#include <memory>
#include <string>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

enum class QueueMechanism : uint8_t {
  kBest,        // io_uring, else the thread pool
  kIoUring,     // io_uring only: nullptr when the system has none
  kThreadPool,  // the thread pool only (tests of the stand-in)
};

// Opens a queue on the system path (read through sys's root). nullptr with one sentence in why.
std::unique_ptr<AsyncQueue> OpenLinuxQueue(const SysRoot& sys, const std::string& path,
                                           const QueueOptions& options, Host& host, QueueMechanism mechanism,
                                           std::string& why);

}  // namespace kestrune::platform::linux_dev
