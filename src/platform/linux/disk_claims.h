// Exclusive claims on block devices for writing. A handle that writes a disk holds the kernel's
// exclusive claim on it (an O_EXCL open), so that nothing mounts, swaps on or assembles the disk
// while the program writes; a disk the system already uses cannot be claimed, which is how the
// program learns that it must not write there (the kernel refuses O_EXCL on a disk with a mounted
// partition, a swap area, or an MD, device-mapper or file-system member).
//
// The kernel grants a claim to one open file only, while a run opens a disk many times, from several
// threads at once. So the process keeps one claim per device, counted: every handle of the device (or
// of a partition of a claimed disk) shares it, and the last one to close gives it back.
#pragma once

#include <optional>
#include <string>

#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

class DiskClaim {
 public:
  DiskClaim() = default;
  ~DiskClaim();
  DiskClaim(DiskClaim&& other) noexcept;
  DiskClaim& operator=(DiskClaim&& other) noexcept;
  DiskClaim(const DiskClaim&) = delete;
  DiskClaim& operator=(const DiskClaim&) = delete;

  explicit operator bool() const { return held_; }

  // A share of the claim on dev (the device whose node is at localNode), or of the claim this
  // process holds on its whole disk. Empty when the kernel refuses the claim; error is then the
  // errno of the refusal (EBUSY: the system or another program uses the device).
  static DiskClaim Acquire(const std::string& localNode, DevNumber dev, std::optional<DevNumber> wholeDisk,
                           int& error);

 private:
  explicit DiskClaim(DevNumber key) : key_(key), held_(true) {}
  void Release();

  DevNumber key_;
  bool held_ = false;
};

}  // namespace kestrune::platform::linux_dev
