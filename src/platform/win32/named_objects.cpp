// Named shared memory and machine-wide locks on Windows: page-file backed file mappings and named
// mutexes in the session's namespace. The system removes a mapping when its last handle closes and
// hands an abandoned mutex (its holder died) to the next waiter.
#include "platform/named_objects.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

class Win32SharedBlock final : public SharedBlock {
 public:
  Win32SharedBlock(HANDLE mapping, uint8_t* bytes, size_t size, bool created)
      : mapping_(mapping), bytes_(bytes), size_(size), created_(created) {}
  ~Win32SharedBlock() override {
    UnmapViewOfFile(bytes_);
    CloseHandle(mapping_);
  }
  Win32SharedBlock(const Win32SharedBlock&) = delete;
  Win32SharedBlock& operator=(const Win32SharedBlock&) = delete;

  std::span<uint8_t> Bytes() override { return {bytes_, size_}; }
  bool Created() const override { return created_; }

 private:
  HANDLE mapping_;
  uint8_t* bytes_;
  size_t size_;
  bool created_;
};

class Win32Mutex final : public NamedLock {
 public:
  explicit Win32Mutex(HANDLE mutex) : mutex_(mutex) {}
  ~Win32Mutex() override {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  Win32Mutex(const Win32Mutex&) = delete;
  Win32Mutex& operator=(const Win32Mutex&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

std::unique_ptr<SharedBlock> OpenNamedSharedBlock(std::string_view name, size_t size) {
  if (name.empty() || size == 0) return nullptr;
  std::wstring wide = Widen(name);
  const uint64_t bytes = size;
  HANDLE mapping =
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                         static_cast<DWORD>(bytes & 0xFFFFFFFFu), wide.c_str());
  if (mapping == nullptr) return nullptr;
  const bool created = GetLastError() != ERROR_ALREADY_EXISTS;  // a new section is zero-filled
  // Mapping more than an existing, smaller section holds fails here.
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (view == nullptr) {
    CloseHandle(mapping);
    return nullptr;
  }
  return std::make_unique<Win32SharedBlock>(mapping, static_cast<uint8_t*>(view), size, created);
}

std::unique_ptr<NamedLock> AcquireMachineLock(std::string_view name, uint32_t timeoutMs) {
  if (name.empty()) return nullptr;
  std::wstring wide = Widen(name);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, wide.c_str());
  if (mutex == nullptr) return nullptr;
  DWORD r = WaitForSingleObject(mutex, timeoutMs);
  // WAIT_ABANDONED: the last holder died while holding it; the mutex is now ours.
  if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return nullptr;
  }
  return std::make_unique<Win32Mutex>(mutex);
}

}  // namespace kestrune::platform
