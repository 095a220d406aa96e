#include "sim/sparse_file.h"

#include <fcntl.h>

#include <algorithm>
#include <vector>

#include "platform/files.h"

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrune::sim {
namespace {

#ifdef _WIN32
int OpenFd(const std::string& path) {
  int fd = -1;
  std::wstring wide = platform::FsPath(path).wstring();
  if (_wsopen_s(&fd, wide.c_str(), _O_RDWR | _O_CREAT | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0)
    return -1;
  return fd;
}
int64_t FileSize(int fd) { return _lseeki64(fd, 0, SEEK_END); }
// Reads or writes all of n bytes at offset; false on any shortfall.
bool ReadAt(int fd, uint8_t* p, size_t n, uint64_t offset) {
  if (_lseeki64(fd, static_cast<int64_t>(offset), SEEK_SET) < 0) return false;
  while (n > 0) {
    int chunk = _read(fd, p, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
    if (chunk <= 0) return false;
    p += chunk;
    n -= static_cast<size_t>(chunk);
  }
  return true;
}
bool WriteAt(int fd, const uint8_t* p, size_t n, uint64_t offset) {
  if (_lseeki64(fd, static_cast<int64_t>(offset), SEEK_SET) < 0) return false;
  while (n > 0) {
    int chunk = _write(fd, p, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
    if (chunk <= 0) return false;
    p += chunk;
    n -= static_cast<size_t>(chunk);
  }
  return true;
}
bool Truncate(int fd, uint64_t size) { return _chsize_s(fd, static_cast<int64_t>(size)) == 0; }
bool PunchHole(int, uint64_t, uint64_t) { return false; }
void CloseFd(int fd) { _close(fd); }
#else
int OpenFd(const std::string& path) { return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644); }
int64_t FileSize(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}
bool ReadAt(int fd, uint8_t* p, size_t n, uint64_t offset) {
  while (n > 0) {
    ssize_t chunk = ::pread(fd, p, n, static_cast<off_t>(offset));
    if (chunk <= 0) return false;
    p += chunk;
    n -= static_cast<size_t>(chunk);
    offset += static_cast<uint64_t>(chunk);
  }
  return true;
}
bool WriteAt(int fd, const uint8_t* p, size_t n, uint64_t offset) {
  while (n > 0) {
    ssize_t chunk = ::pwrite(fd, p, n, static_cast<off_t>(offset));
    if (chunk <= 0) return false;
    p += chunk;
    n -= static_cast<size_t>(chunk);
    offset += static_cast<uint64_t>(chunk);
  }
  return true;
}
bool Truncate(int fd, uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }
bool PunchHole(int fd, uint64_t offset, uint64_t length) {
#if defined(__linux__) && defined(FALLOC_FL_PUNCH_HOLE)
  return ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                     static_cast<off_t>(length)) == 0;
#else
  return false;
#endif
}
void CloseFd(int fd) { ::close(fd); }
#endif

}  // namespace

std::unique_ptr<SparseFile> SparseFile::Open(const std::string& path) {
  int fd = OpenFd(path);
  if (fd < 0) return nullptr;
  int64_t size = FileSize(fd);
  if (size < 0) {
    CloseFd(fd);
    return nullptr;
  }
  return std::unique_ptr<SparseFile>(new SparseFile(fd, static_cast<uint64_t>(size)));
}

SparseFile::~SparseFile() {
  if (fd_ >= 0) CloseFd(fd_);
}

bool SparseFile::Read(uint64_t offset, std::span<uint8_t> out) {
  std::fill(out.begin(), out.end(), uint8_t{0});
  if (offset >= size_ || out.empty()) return true;
  size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), size_ - offset));
  return ReadAt(fd_, out.data(), n, offset);
}

bool SparseFile::Write(uint64_t offset, std::span<const uint8_t> data) {
  if (data.empty()) return true;
  if (!WriteAt(fd_, data.data(), data.size(), offset)) return false;
  size_ = std::max<uint64_t>(size_, offset + data.size());
  return true;
}

bool SparseFile::Zero(uint64_t offset, uint64_t length) {
  if (offset >= size_ || length == 0) return true;
  const uint64_t end = std::min(size_, offset + length);
  if (end == size_) {
    // The range reaches the end of what was ever written: shorten the file.
    if (!Truncate(fd_, offset)) return false;
    size_ = offset;
    return true;
  }
  if (PunchHole(fd_, offset, end - offset)) return true;
  return WriteZeros(offset, end - offset);
}

bool SparseFile::WriteZeros(uint64_t offset, uint64_t length) {
  std::vector<uint8_t> zeros(static_cast<size_t>(std::min<uint64_t>(length, 1u << 20)), 0);
  while (length > 0) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(length, zeros.size()));
    if (!WriteAt(fd_, zeros.data(), n, offset)) return false;
    offset += n;
    length -= n;
  }
  return true;
}

}  // namespace kestrune::sim
