#include "platform/linux/queue_target.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/block_devices.h"

namespace kestrune::platform::linux_dev {
namespace {

constexpr uint32_t kFileSectorSize = 512;  // a file's alignment when the system does not say

int OpenRetrying(const std::string& local, int flags) {
  int fd;
  do {
    fd = ::open(local.c_str(), flags | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The claim of a block device and of the disk it lies on (a partition's disk).
DiskClaim ClaimBlock(const SysRoot& sys, const std::string& local, DevNumber dev, int& error) {
  std::optional<DevNumber> wholeDisk;
  const std::string sysPath = BlockSysPath(sys, dev);
  if (!sysPath.empty()) {
    const std::string disk = WholeDiskSysPath(sys, sysPath);
    if (disk != sysPath)
      if (std::optional<BlockDevice> whole = ReadBlockDevice(sys, disk)) wholeDisk = whole->dev;
  }
  return DiskClaim::Acquire(local, dev, wholeDisk, error);
}

// The alignment of unbuffered requests on a file: what statx says, else the usual sector.
uint32_t FileAlignment(int fd) {
#ifdef STATX_DIOALIGN
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &sx) == 0 && (sx.stx_mask & STATX_DIOALIGN) &&
      sx.stx_dio_offset_align > 0)
    return sx.stx_dio_offset_align;
#endif
  return kFileSectorSize;
}

}  // namespace

std::unique_ptr<QueueTarget> QueueTarget::Open(const SysRoot& sys, const std::string& path,
                                               const QueueOptions& options, std::string& why) {
  if (path.empty() || path.front() != '/') {
    why = path + " is not an absolute path";
    return nullptr;
  }
  const std::string local = sys.Local(path);
  struct stat st {};
  if (::stat(local.c_str(), &st) != 0) {
    why = path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<QueueTarget> t(new QueueTarget);
  t->block_ = S_ISBLK(st.st_mode);
  if (!t->block_ && !S_ISREG(st.st_mode)) {
    why = path + " is neither a block device nor a file";
    return nullptr;
  }
  const bool write = options.access == OpenAccess::kReadWrite;
  if (write && t->block_) {
    int error = 0;
    t->claim_ = ClaimBlock(sys, local, DevNumber{::major(st.st_rdev), ::minor(st.st_rdev)}, error);
    if (!t->claim_) {
      why = error == EBUSY ? path + " is in use by the system: a queue that writes needs the disk to itself"
                           : path + ": " + std::strerror(error);
      return nullptr;
    }
  }
  const int flags = (write ? O_RDWR : O_RDONLY) | (options.writeThrough ? O_DSYNC : 0);
  bool direct = options.unbuffered;
  t->fd_ = OpenRetrying(local, flags | (direct ? O_DIRECT : 0));
  if (t->fd_ < 0 && direct && errno == EINVAL) {  // a file system without direct I/O
    direct = false;
    t->fd_ = OpenRetrying(local, flags);
  }
  if (t->fd_ < 0) {
    why = path + ": " + std::strerror(errno);
    return nullptr;
  }
  QueueFacts& f = t->facts_;
  f.depth = options.depth;
  f.unbuffered = direct;
  f.writeThrough = options.writeThrough;
  f.readOnly = !write;
  if (t->block_) {
    int sector = 0;
    uint64_t bytes = 0;
    if (::ioctl(t->fd_, BLKGETSIZE64, &bytes) != 0 || ::ioctl(t->fd_, BLKSSZGET, &sector) != 0 ||
        sector <= 0) {
      why = path + ": the block device does not tell its size";
      return nullptr;
    }
    f.lengthBytes = bytes;
    f.sectorSize = static_cast<uint32_t>(sector);
  } else {
    f.lengthBytes = static_cast<uint64_t>(st.st_size);
    f.sectorSize = FileAlignment(t->fd_);
  }
  return t;
}

QueueTarget::~QueueTarget() {
  if (fd_ >= 0) ::close(fd_);
}

int QueueTarget::Transfer(const IoRequest& r, uint64_t& moved) const {
  moved = 0;
  bool syncAfter = false;  // an old kernel without RWF_DSYNC: write, then wait for the medium
  while (moved < r.length) {
    uint8_t* at = r.data + moved;
    const size_t part = static_cast<size_t>(r.length - moved);
    const off_t offset = static_cast<off_t>(r.offset + moved);
    ssize_t n;
    if (r.op == IoOp::kRead) {
      n = ::pread(fd_, at, part, offset);
    } else if (r.op == IoOp::kWriteFua && !syncAfter) {
      iovec io{at, part};
      n = ::pwritev2(fd_, &io, 1, offset, RWF_DSYNC);
      if (n < 0 && (errno == EOPNOTSUPP || errno == ENOSYS)) {
        syncAfter = true;
        continue;
      }
    } else {
      n = ::pwrite(fd_, at, part, offset);
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      return moved > 0 ? 0 : errno;
    }
    if (n == 0) break;  // the end of the target
    moved += static_cast<uint64_t>(n);
  }
  if (syncAfter && ::fdatasync(fd_) != 0) return errno;
  return 0;
}

int QueueTarget::Trim(uint64_t offset, uint64_t length) const {
  int rc;
  if (block_) {
    uint64_t range[2] = {offset, length};
    rc = ::ioctl(fd_, BLKDISCARD, range);
  } else {
    rc = ::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                     static_cast<off_t>(length));
  }
  return rc == 0 ? 0 : errno;
}

int QueueTarget::Flush() const { return ::fdatasync(fd_) == 0 ? 0 : errno; }

IoStatus StatusOfErrno(int error) {
  switch (error) {
    case 0:
      return IoStatus::kOk;
    case ECANCELED:
      return IoStatus::kCancelled;
    case ENODATA:
    case EILSEQ:
      return IoStatus::kMediaError;
    case EOPNOTSUPP:
    case ENOTTY:
      return IoStatus::kNotSupported;
    case ENODEV:
    case ENXIO:
      return IoStatus::kGone;
    default:
      return IoStatus::kFailed;
  }
}

IoCompletion SyncCompletion(const IoRequest& request, int error, uint64_t moved, uint64_t issue,
                            uint64_t done) {
  IoCompletion c;
  c.tag = request.tag;
  c.op = request.op;
  c.status = StatusOfErrno(error);
  c.systemError = c.status == IoStatus::kOk || c.status == IoStatus::kCancelled ? 0 : error;
  if (c.status == IoStatus::kOk) c.bytes = request.op == IoOp::kTrim ? request.length : moved;
  c.issueTicks = issue;
  c.completeTicks = done < issue ? issue : done;
  return c;
}

}  // namespace kestrune::platform::linux_dev
