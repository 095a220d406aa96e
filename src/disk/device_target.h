// Where a disk operation sends its requests: a device handle the caller holds open, or a device
// tree from which the operation opens the path it needs, for that call only.
#pragma once

#include <memory>
#include <string>

#include "platform/device.h"

namespace kestrune::disk {

// A view of how to reach a disk; it owns nothing, and the tree or device it names must outlive it.
//
// From a DeviceTree: every Open(path) opens path read-write and the handle closes when the
// operation drops it (open, send, close: what every disk operation does unless told otherwise).
// From a Device: Open(path) lends that handle and ignores path; the caller opened whatever path
// its own rules give and keeps the handle across operations (a firmware image sent in chunks).
//
// Both constructors are implicit on purpose: a DeviceTree& or a Device& stands wherever a target
// is asked for, as a string stands for a string_view. Thread-safety is that of the tree or device.
class DeviceTarget {
 public:
  DeviceTarget(platform::DeviceTree& tree) : tree_(&tree) {}
  DeviceTarget(platform::Device& device) : device_(&device) {}

  // A handle for one operation, lent or opened for it; empty when the path did not open.
  class Handle {
   public:
    explicit operator bool() const { return device_ != nullptr; }
    platform::Device& operator*() const { return *device_; }

   private:
    friend class DeviceTarget;
    std::unique_ptr<platform::Device> opened_;
    platform::Device* device_ = nullptr;
  };

  Handle Open(const std::string& path) const;

 private:
  platform::DeviceTree* tree_ = nullptr;
  platform::Device* device_ = nullptr;
};

}  // namespace kestrune::disk
