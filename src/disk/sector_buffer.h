// SectorBuffer: the memory of one sector request. Unbuffered disk access needs buffers aligned to the
// sector size; a whole-page alignment satisfies every sector size a drive reports. The buffer is
// zero-filled when made and freed by its destructor, so every return path releases it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrune::disk {

class SectorBuffer {
 public:
  static constexpr size_t kPageSize = 4096;

  SectorBuffer() = default;
  // A zero-filled buffer of bytes bytes, rounded up to whole pages in memory. ok() is false when the
  // memory could not be had (the buffer is then empty).
  explicit SectorBuffer(size_t bytes);
  ~SectorBuffer();
  SectorBuffer(SectorBuffer&& other) noexcept;
  SectorBuffer& operator=(SectorBuffer&& other) noexcept;
  SectorBuffer(const SectorBuffer&) = delete;
  SectorBuffer& operator=(const SectorBuffer&) = delete;

  bool ok() const { return ok_; }
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  std::span<uint8_t> bytes() { return {data_, size_}; }
  std::span<const uint8_t> bytes() const { return {data_, size_}; }

 private:
  void Release();

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool ok_ = true;
};

// True when p lies on a page boundary.
inline bool PageAligned(const void* p) {
  return reinterpret_cast<uintptr_t>(p) % SectorBuffer::kPageSize == 0;
}

}  // namespace kestrune::disk
