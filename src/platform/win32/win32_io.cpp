#include "platform/win32/win32_io.h"

#include <algorithm>

#include "platform/win32/wide.h"

namespace kestrune::platform::win32 {

UniqueHandle OpenPath(const std::string& path, OpenMode mode) {
  DWORD access = 0;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case OpenMode::kQuery:
      break;
    case OpenMode::kRead:
      access = GENERIC_READ;
      break;
    case OpenMode::kReadWrite:
      access = GENERIC_READ | GENERIC_WRITE;
      break;
    case OpenMode::kWriteThrough:
      access = GENERIC_READ | GENERIC_WRITE;
      flags |= FILE_FLAG_WRITE_THROUGH;
      break;
  }
  const std::wstring wide = Widen(path);
  return UniqueHandle(CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, flags, nullptr));
}

UniqueHandle OpenForQueries(const std::string& path) {
  for (OpenMode mode : {OpenMode::kReadWrite, OpenMode::kRead, OpenMode::kQuery}) {
    UniqueHandle h = OpenPath(path, mode);
    if (h) return h;
  }
  return {};
}

std::optional<std::vector<uint8_t>> Query(HANDLE h, uint32_t code, std::span<const uint8_t> input,
                                          size_t outputBytes) {
  std::vector<uint8_t> out(outputBytes, 0);
  DWORD returned = 0;
  // The input is only read; the cast drops const for the system's signature.
  void* in = input.empty() ? nullptr : const_cast<uint8_t*>(input.data());
  if (!DeviceIoControl(h, code, in, static_cast<DWORD>(input.size()), out.empty() ? nullptr : out.data(),
                       static_cast<DWORD>(out.size()), &returned, nullptr))
    return std::nullopt;
  out.resize(std::min<size_t>(returned, out.size()));
  return out;
}

bool Exchange(HANDLE h, uint32_t code, std::span<uint8_t> buffer, size_t outputBytes) {
  DWORD returned = 0;
  void* data = buffer.empty() ? nullptr : buffer.data();
  const size_t out = std::min(outputBytes, buffer.size());
  return DeviceIoControl(h, code, data, static_cast<DWORD>(buffer.size()), out == 0 ? nullptr : data,
                         static_cast<DWORD>(out), &returned, nullptr) != 0;
}

PassStatus StatusOfLastError() {
  switch (GetLastError()) {
    case ERROR_SEM_TIMEOUT:
    case ERROR_TIMEOUT:
    case WAIT_TIMEOUT:
      return PassStatus::kTimeout;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
      return PassStatus::kNotSupported;
    default:
      return PassStatus::kFailed;
  }
}

PageBuffer::PageBuffer(size_t bytes) : size_(bytes) {
  if (bytes == 0) return;
  data_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

PageBuffer::~PageBuffer() {
  if (data_) VirtualFree(data_, 0, MEM_RELEASE);
}

}  // namespace kestrune::platform::win32
