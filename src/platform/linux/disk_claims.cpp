#include "platform/linux/disk_claims.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

namespace kestrune::platform::linux_dev {
namespace {

struct Held {
  int fd = -1;
  int shares = 0;
};

// Claims are taken and given back under this lock, so a handle never finds a claim that is on its
// way out: the close that ends it happens before anyone can look again.
std::mutex& ClaimLock() {
  static std::mutex m;
  return m;
}

std::map<DevNumber, Held>& Claims() {
  static std::map<DevNumber, Held> claims;
  return claims;
}

}  // namespace

DiskClaim DiskClaim::Acquire(const std::string& localNode, DevNumber dev, std::optional<DevNumber> wholeDisk,
                             int& error) {
  error = 0;
  std::lock_guard<std::mutex> lock(ClaimLock());
  auto& claims = Claims();
  for (std::optional<DevNumber> key : {std::optional<DevNumber>(dev), wholeDisk}) {
    if (!key) continue;
    auto it = claims.find(*key);
    if (it != claims.end()) {
      ++it->second.shares;
      return DiskClaim(*key);
    }
  }
  int fd;
  do {
    fd = ::open(localNode.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno;
    return DiskClaim();
  }
  claims[dev] = Held{fd, 1};
  return DiskClaim(dev);
}

void DiskClaim::Release() {
  if (!held_) return;
  held_ = false;
  std::lock_guard<std::mutex> lock(ClaimLock());
  auto& claims = Claims();
  auto it = claims.find(key_);
  if (it == claims.end() || --it->second.shares > 0) return;
  ::close(it->second.fd);
  claims.erase(it);
}

DiskClaim::~DiskClaim() { Release(); }

DiskClaim::DiskClaim(DiskClaim&& other) noexcept : key_(other.key_), held_(other.held_) { other.held_ = false; }

DiskClaim& DiskClaim::operator=(DiskClaim&& other) noexcept {
  if (this != &other) {
    Release();
    key_ = other.key_;
    held_ = other.held_;
    other.held_ = false;
  }
  return *this;
}

}  // namespace kestrune::platform::linux_dev
