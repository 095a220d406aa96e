// The target of a Linux queue: a block device (a disk or a partition) or a regular file, opened
// once for the queue's access, O_DIRECT unless the file system refuses it, O_DSYNC when every
// write goes through; its length and the sector size its requests align to. A block device opened
// for writing shares this process's exclusive claim on it (disk_claims.h), so a disk the system
// uses is refused.
//
// It also does the requests synchronously, on the calling thread: the trims of the io_uring queue
// (no queued discard in the kernels of Debian 12) and every request of the thread-pool queue.
// Thread-safe: the synchronous requests are single system calls on one descriptor.
#pragma once

#include <memory>
#include <string>

#include "platform/async_queue.h"
#include "platform/linux/disk_claims.h"
#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

class QueueTarget {
 public:
  // Opens the system path (through sys's root). nullptr, with one sentence in why, when it is
  // neither a block device nor a regular file, does not open, or is a disk the system uses and
  // options ask for writing.
  static std::unique_ptr<QueueTarget> Open(const SysRoot& sys, const std::string& path,
                                           const QueueOptions& options, std::string& why);
  ~QueueTarget();
  QueueTarget(const QueueTarget&) = delete;
  QueueTarget& operator=(const QueueTarget&) = delete;

  int fd() const { return fd_; }
  // The facts of a queue on this target with these options; mechanism and notice are the queue's.
  const QueueFacts& facts() const { return facts_; }

  // Moves a read or write (FUA: with RWF_DSYNC) whole, looping over short transfers; 0, or the
  // errno value of a failure before any byte moved. moved: the bytes that did.
  int Transfer(const IoRequest& request, uint64_t& moved) const;
  // BLKDISCARD on a block device, a punched hole (the size kept) in a file. 0 or an errno value.
  int Trim(uint64_t offset, uint64_t length) const;
  // fdatasync: what the cache holds goes to the device, and the device's cache to its medium.
  int Flush() const;

 private:
  QueueTarget() = default;
  int fd_ = -1;
  bool block_ = false;
  DiskClaim claim_;
  QueueFacts facts_;
};

// The queue status of a system error value: ECANCELED cancelled; ENODATA and EILSEQ (an
// unrecovered medium error as the block layer reports it) a media error; EOPNOTSUPP and ENOTTY not
// supported; ENODEV and ENXIO gone; anything else failed.
IoStatus StatusOfErrno(int error);

// The completion of a request done synchronously: error 0 is kOk with moved bytes.
IoCompletion SyncCompletion(const IoRequest& request, int error, uint64_t moved, uint64_t issue,
                            uint64_t done);

}  // namespace kestrune::platform::linux_dev
