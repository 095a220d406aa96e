// JobFile on Linux: pread/pwrite on a descriptor. Unbuffered reads open with O_DIRECT; tmpfs and
// some FUSE file systems refuse it with EINVAL, and the file is then opened for cached reads.
// A created file takes an exclusive flock, the nearest to a handle without sharing.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/job_files.h"

namespace kestrune::platform {
namespace {

std::string ErrnoText(int e) { return std::strerror(e); }

class LinuxJobFile final : public JobFile {
 public:
  LinuxJobFile(int fd, bool unbuffered) : fd_(fd), unbuffered_(unbuffered) {}
  ~LinuxJobFile() override { close(fd_); }

  uint64_t Size() override {
    struct stat st {};
    return fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  }
  bool unbuffered() const override { return unbuffered_; }

  FileIo ReadAt(uint64_t offset, std::span<uint8_t> bytes) override {
    FileIo io;
    while (io.bytes < bytes.size()) {
      const ssize_t n =
          pread(fd_, bytes.data() + io.bytes, bytes.size() - io.bytes, static_cast<off_t>(offset + io.bytes));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        io.why = ErrnoText(errno);
        return io;
      }
      if (n == 0) break;
      io.bytes += static_cast<size_t>(n);
      // An unbuffered read that stops short has reached the end of the file.
      if (unbuffered_ && io.bytes % kFileAlignment != 0) break;
    }
    io.ok = true;
    return io;
  }

  FileIo WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    FileIo io;
    while (io.bytes < bytes.size()) {
      const ssize_t n = pwrite(fd_, bytes.data() + io.bytes, bytes.size() - io.bytes,
                               static_cast<off_t>(offset + io.bytes));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int e = n < 0 ? errno : ENOSPC;
        io.diskFull = e == ENOSPC || e == EDQUOT || e == EFBIG;
        io.why = ErrnoText(e);
        return io;
      }
      io.bytes += static_cast<size_t>(n);
    }
    io.ok = true;
    return io;
  }

  bool Flush(std::string& why) override {
    if (fsync(fd_) == 0) return true;
    why = ErrnoText(errno);
    return false;
  }

 private:
  int fd_;
  bool unbuffered_;
};

}  // namespace

std::unique_ptr<JobFile> OpenSystemJobFile(const std::string& path, FileAccess access, std::string& why) {
  int fd = -1;
  bool unbuffered = false;
  if (access == FileAccess::kCreate) {
    // Emptied only once the lock is held, so that a file in use keeps its bytes.
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 && (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0)) {
      why = "the file is in use: " + ErrnoText(errno);
      close(fd);
      return nullptr;
    }
  } else {
    if (access == FileAccess::kReadUnbuffered) {
      fd = open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
      unbuffered = fd >= 0;
      if (fd < 0 && errno != EINVAL) {
        why = ErrnoText(errno);
        return nullptr;
      }
    }
    if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    why = ErrnoText(errno);
    return nullptr;
  }
  return std::make_unique<LinuxJobFile>(fd, unbuffered);
}

}  // namespace kestrune::platform
