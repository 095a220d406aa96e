#include "disk/device_target.h"

namespace kestrune::disk {

DeviceTarget::Handle DeviceTarget::Open(const std::string& path) const {
  Handle h;
  if (device_ != nullptr) {
    h.device_ = device_;
  } else {
    h.opened_ = tree_->Open(path, platform::OpenAccess::kReadWrite);
    h.device_ = h.opened_.get();
  }
  return h;
}

}  // namespace kestrune::disk
