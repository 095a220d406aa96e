// Page-aligned, zero-filled memory for queued and unbuffered I/O, shared by reference count: the
// workers of a job and the queues they hand to a reaper each hold a reference, and the memory goes
// when the last of them lets go (async_queue.h says when a queue may still use it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace kestrune::platform {

class IoBuffer {
 public:
  // bytes of zeros starting on kIoAlignment (rounded up to whole pages in memory); nullptr when the
  // memory cannot be had.
  static std::shared_ptr<IoBuffer> Make(size_t bytes);
  ~IoBuffer();
  IoBuffer(const IoBuffer&) = delete;
  IoBuffer& operator=(const IoBuffer&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  std::span<uint8_t> bytes() const { return {data_, size_}; }

 private:
  IoBuffer(uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t* data_;
  size_t size_;
};

}  // namespace kestrune::platform
