// A file that holds a drive's durable contents. It grows only as far as data is written; bytes
// beyond its end and in holes read as zeros. On Linux, writes past the end leave holes and
// deallocation punches holes, so a drive of many GiB costs only what was written. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kestrune::sim {

class SparseFile {
 public:
  // Opens the file, creating it when missing (its contents are kept otherwise). nullptr on failure.
  static std::unique_ptr<SparseFile> Open(const std::string& path);
  ~SparseFile();
  SparseFile(const SparseFile&) = delete;
  SparseFile& operator=(const SparseFile&) = delete;

  // Fills out with the bytes at offset (zeros past the end). False on an I/O error.
  bool Read(uint64_t offset, std::span<uint8_t> out);
  bool Write(uint64_t offset, std::span<const uint8_t> data);
  // Makes [offset, offset + length) read as zeros, releasing the space where the system can.
  bool Zero(uint64_t offset, uint64_t length);

  uint64_t size() const { return size_; }

 private:
  explicit SparseFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  bool WriteZeros(uint64_t offset, uint64_t length);
  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace kestrune::sim
