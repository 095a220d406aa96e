#include "disk/sector_buffer.h"

#include <cstring>
#include <new>
#include <utility>

namespace kestrune::disk {

SectorBuffer::SectorBuffer(size_t bytes) {
  if (bytes == 0) return;
  // Whole pages, so that the last sector of an odd-sized request still sits in owned memory.
  const size_t pages = bytes / kPageSize + (bytes % kPageSize != 0 ? 1 : 0);
  if (pages > SIZE_MAX / kPageSize) {
    ok_ = false;
    return;
  }
  const size_t allocated = pages * kPageSize;
  void* p = ::operator new (allocated, std::align_val_t{kPageSize}, std::nothrow);
  if (p == nullptr) {
    ok_ = false;
    return;
  }
  std::memset(p, 0, allocated);
  data_ = static_cast<uint8_t*>(p);
  size_ = bytes;
}

SectorBuffer::~SectorBuffer() { Release(); }

SectorBuffer::SectorBuffer(SectorBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)), ok_(other.ok_) {}

SectorBuffer& SectorBuffer::operator=(SectorBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    ok_ = other.ok_;
  }
  return *this;
}

void SectorBuffer::Release() {
  if (data_ != nullptr) ::operator delete (data_, std::align_val_t{kPageSize}, std::nothrow);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace kestrune::disk
