#include "platform/linux/linux_device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kestrune::platform::linux_dev {
namespace {

constexpr uint64_t kPage = 4096;
constexpr uint64_t kBounceBytes = uint64_t{1} << 20;  // the aligned stand-in for an unaligned buffer
constexpr uint64_t kMaxCall = uint64_t{1} << 30;      // one read or write call (the kernel stops near 2 GiB)

bool PageAligned(const void* p) { return reinterpret_cast<uintptr_t>(p) % kPage == 0; }

// A write with forced unit access: RWF_DSYNC makes the block layer send it as a FUA write (or a
// write and a cache flush on a drive without FUA). -1 with errno EOPNOTSUPP when the kernel lacks it.
ssize_t WriteThrough(int fd, const uint8_t* data, size_t length, uint64_t offset) {
  iovec io{const_cast<uint8_t*>(data), length};
  return ::pwritev2(fd, &io, 1, static_cast<off_t>(offset), RWF_DSYNC);
}

struct AlignedBuffer {
  explicit AlignedBuffer(size_t bytes) {
    if (::posix_memalign(&p, kPage, bytes) != 0) p = nullptr;
  }
  ~AlignedBuffer() { std::free(p); }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;
  uint8_t* data() const { return static_cast<uint8_t*>(p); }
  void* p = nullptr;
};

}  // namespace

LinuxDevice::LinuxDevice(Opening opening)
    : fd_(opening.fd),
      localNode_(std::move(opening.localNode)),
      kind_(opening.kind),
      direct_(opening.direct),
      diskSysPath_(std::move(opening.diskSysPath)),
      controllerNode_(std::move(opening.controllerNode)),
      nvme_(opening.nvme),
      claim_(std::move(opening.claim)),
      sys_(std::move(opening.sys)) {}

LinuxDevice::~LinuxDevice() {
  if (adminFd_ >= 0) ::close(adminFd_);
  if (writeFd_ >= 0) ::close(writeFd_);
  if (fd_ >= 0) ::close(fd_);
}

bool LinuxDevice::SectorAligned(uint64_t offset, uint64_t length) {
  std::optional<uint32_t> sector = SectorSize();
  if (!sector || *sector == 0) return false;
  return offset % *sector == 0 && length % *sector == 0;
}

std::optional<uint64_t> LinuxDevice::Transfer(uint64_t offset, uint8_t* data, uint64_t length, bool write,
                                              bool fua) {
  const int fd = write ? WriteFd() : fd_;
  if (fd < 0) return std::nullopt;
  uint64_t moved = 0;
  bool failed = false;
  bool syncAfter = false;
  while (moved < length) {
    const size_t part = static_cast<size_t>(std::min(length - moved, kMaxCall));
    ssize_t n;
    if (!write) {
      n = ::pread(fd, data + moved, part, static_cast<off_t>(offset + moved));
    } else if (fua && !syncAfter) {
      n = WriteThrough(fd, data + moved, part, offset + moved);
      if (n < 0 && (errno == EOPNOTSUPP || errno == ENOSYS)) {
        syncAfter = true;  // an old kernel: write, then wait for the data to reach the medium
        continue;
      }
    } else {
      n = ::pwrite(fd, data + moved, part, static_cast<off_t>(offset + moved));
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      failed = true;
      break;
    }
    if (n == 0) break;  // the end of the device
    moved += static_cast<uint64_t>(n);
  }
  if (syncAfter && moved > 0 && ::fdatasync(fd) != 0) return std::nullopt;
  if (failed && moved == 0) return std::nullopt;
  return moved;
}

std::optional<uint64_t> LinuxDevice::Bounced(uint64_t offset, uint8_t* data, uint64_t length, bool write,
                                             bool fua) {
  AlignedBuffer bounce(static_cast<size_t>(std::min(length, kBounceBytes)));
  if (!bounce.data()) return std::nullopt;
  uint64_t moved = 0;
  while (moved < length) {
    const uint64_t part = std::min(length - moved, kBounceBytes);
    if (write) std::memcpy(bounce.data(), data + moved, part);
    std::optional<uint64_t> n = Transfer(offset + moved, bounce.data(), part, write, fua);
    if (!n) return moved == 0 ? std::nullopt : std::optional<uint64_t>(moved);
    if (!write) std::memcpy(data + moved, bounce.data(), *n);
    moved += *n;
    if (*n < part) break;
  }
  return moved;
}

std::optional<uint64_t> LinuxDevice::Read(uint64_t offset, std::span<uint8_t> buffer) {
  if (kind_ != NodeKind::kBlock || !SectorAligned(offset, buffer.size())) return std::nullopt;
  if (direct_ && !PageAligned(buffer.data())) return Bounced(offset, buffer.data(), buffer.size(), false, false);
  return Transfer(offset, buffer.data(), buffer.size(), false, false);
}

std::optional<uint64_t> LinuxDevice::Write(uint64_t offset, std::span<const uint8_t> data, bool fua) {
  if (kind_ != NodeKind::kBlock || !SectorAligned(offset, data.size())) return std::nullopt;
  uint8_t* bytes = const_cast<uint8_t*>(data.data());  // only read from
  if (direct_ && !PageAligned(bytes)) return Bounced(offset, bytes, data.size(), true, fua);
  return Transfer(offset, bytes, data.size(), true, fua);
}

// fsync on a block device writes back what the page cache holds of it and sends the drive a cache
// flush, through any descriptor of the device.
bool LinuxDevice::Flush() { return kind_ == NodeKind::kBlock && ::fsync(writeFd_ >= 0 ? writeFd_ : fd_) == 0; }

bool LinuxDevice::Trim(uint64_t offset, uint64_t length) {
  if (kind_ != NodeKind::kBlock || !SectorAligned(offset, length)) return false;
  if (length == 0) return true;
  const int fd = WriteFd();
  uint64_t range[2] = {offset, length};
  return fd >= 0 && ::ioctl(fd, BLKDISCARD, range) == 0;
}

std::optional<uint64_t> LinuxDevice::LengthBytes() {
  uint64_t bytes = 0;
  if (kind_ != NodeKind::kBlock || ::ioctl(fd_, BLKGETSIZE64, &bytes) != 0) return std::nullopt;
  return bytes;
}

std::optional<uint32_t> LinuxDevice::SectorSize() {
  int bytes = 0;
  if (kind_ != NodeKind::kBlock || ::ioctl(fd_, BLKSSZGET, &bytes) != 0 || bytes <= 0) return std::nullopt;
  return static_cast<uint32_t>(bytes);
}

std::optional<bool> LinuxDevice::WriteCacheEnabled() {
  if (kind_ != NodeKind::kBlock || diskSysPath_.empty()) return std::nullopt;
  std::optional<std::string> mode = sys_.Attr(diskSysPath_ + "/queue/write_cache");
  if (mode == "write back") return true;
  if (mode == "write through") return false;
  return std::nullopt;
}

std::optional<bool> LinuxDevice::TrimSupported() {
  if (kind_ != NodeKind::kBlock || diskSysPath_.empty()) return std::nullopt;
  std::optional<uint64_t> limit = sys_.Number(diskSysPath_ + "/queue/discard_max_bytes");
  if (!limit) return std::nullopt;
  return *limit > 0;
}

TransferLimit LinuxDevice::SystemTransferLimit() {
  // The block layer refuses a pass-through request above the queue's hardware limit; the NVMe
  // driver sets it from MDTS and its own bound, the SCSI disk driver from the host adapter.
  if (diskSysPath_.empty()) return {};
  const std::optional<uint64_t> kb = sys_.Number(diskSysPath_ + "/queue/max_hw_sectors_kb");
  if (!kb || *kb == 0) return {};
  return {static_cast<uint32_t>(std::min<uint64_t>(*kb * 1024, UINT32_MAX)), 0};
}

int LinuxDevice::AdminFd() {
  if (!adminOpened_) {
    adminOpened_ = true;
    if (!controllerNode_.empty()) {
      do {
        adminFd_ = ::open(controllerNode_.c_str(), O_RDWR | O_CLOEXEC);
      } while (adminFd_ < 0 && errno == EINTR);
      if (adminFd_ < 0) adminFd_ = ::open(controllerNode_.c_str(), O_RDONLY | O_CLOEXEC);
    }
  }
  return adminFd_ >= 0 ? adminFd_ : fd_;
}

int LinuxDevice::WriteFd() {
  if (!writeOpened_ && claim_ && kind_ == NodeKind::kBlock) {
    writeOpened_ = true;
    const int flags = O_RDWR | O_CLOEXEC | (direct_ ? O_DIRECT : 0);
    do {
      writeFd_ = ::open(localNode_.c_str(), flags);
    } while (writeFd_ < 0 && errno == EINTR);
  }
  return writeFd_;
}

}  // namespace kestrune::platform::linux_dev
