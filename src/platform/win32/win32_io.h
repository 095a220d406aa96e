// Small helpers of the Windows device backend: an owned handle, opening a device path, sending an
// IOCTL with byte buffers, page-aligned zero-filled buffers for direct transfers, and the mapping
// of a failed request to a pass-through status.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/device.h"

namespace kestrune::platform::win32 {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = o.h_;
      o.h_ = nullptr;
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void Reset() {
    if (h_) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

// How a device path is opened. Every form shares read and write with other openers.
enum class OpenMode : uint8_t {
  kQuery,         // no data access: enough for device-number, address and property queries
  kRead,          // read access
  kReadWrite,     // read and write access
  kWriteThrough,  // read and write access, writes with forced unit access
};

UniqueHandle OpenPath(const std::string& path, OpenMode mode);

// Opens read/write, then read-only, then for queries only: the first that the system grants.
UniqueHandle OpenForQueries(const std::string& path);

// Sends code with input and an output buffer of outputBytes; the answer's bytes, cut to what the
// system returned; nullopt when the request failed.
std::optional<std::vector<uint8_t>> Query(HANDLE h, uint32_t code, std::span<const uint8_t> input,
                                          size_t outputBytes);

// Sends code with buffer as input and output (both buffer.size() bytes unless outputBytes says
// fewer; 0 = no output). True on success.
bool Exchange(HANDLE h, uint32_t code, std::span<uint8_t> buffer, size_t outputBytes);

// The pass-through status of the last failed request on this thread.
PassStatus StatusOfLastError();

// Zero-filled, page-aligned memory from the virtual-memory allocator: what direct transfers hand
// to the device.
class PageBuffer {
 public:
  explicit PageBuffer(size_t bytes);
  ~PageBuffer();
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  bool ok() const { return size_ == 0 || data_ != nullptr; }
  std::span<uint8_t> bytes() { return {data_, data_ ? size_ : 0}; }
  uint64_t address() const { return reinterpret_cast<uintptr_t>(data_); }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace kestrune::platform::win32
