// Named shared memory and machine-wide locks on Windows: page-file backed file mappings and named
// mutexes. The system removes a mapping when its last handle closes and hands an abandoned mutex (its
// holder died) to the next waiter.
//
// Every name is put in the session's namespace ("Local\NAME", where an unprefixed name would go too)
// and created without security attributes, so the object gets the creator's default DACL: the
// instances of one logon meet; another user's session has a namespace of its own, and an object made
// by an elevated instance is closed to instances that are not elevated.
#include "platform/named_objects.h"

#include <windows.h>

#include <string>

#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

std::wstring SessionName(std::string_view name) { return L"Local\\" + Widen(name); }

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

std::unique_ptr<SharedBlock> OpenNamedSharedBlock(std::string_view name, size_t size, std::string& why) {
  if (name.empty() || size == 0) {
    why = "a shared block needs a name and a size";
    return nullptr;
  }
  const std::string shown = "Local\\" + std::string(name);
  const uint64_t bytes = size;
  HANDLE mapping =
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                         static_cast<DWORD>(bytes & 0xFFFFFFFFu), SessionName(name).c_str());
  if (mapping == nullptr) {
    // ERROR_ACCESS_DENIED: the block exists with a DACL that shuts this process out.
    why = "cannot open the shared block " + shown + ": " + LastErrorText();
    return nullptr;
  }
  const bool created = GetLastError() != ERROR_ALREADY_EXISTS;  // a new section is zero-filled
  // Mapping more than an existing, smaller section holds fails here.
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (view == nullptr) {
    why = "cannot map the shared block " + shown + ": " + LastErrorText();
    CloseHandle(mapping);
    return nullptr;
  }
  return std::make_unique<Win32SharedBlock>(mapping, static_cast<uint8_t*>(view), size, created);
}

std::unique_ptr<NamedLock> AcquireMachineLock(std::string_view name, uint32_t timeoutMs, std::string& why) {
  if (name.empty()) {
    why = "a lock needs a name";
    return nullptr;
  }
  HANDLE mutex = CreateMutexW(nullptr, FALSE, SessionName(name).c_str());
  if (mutex == nullptr) {
    why = "cannot open the lock Local\\" + std::string(name) + ": " + LastErrorText();
    return nullptr;
  }
  DWORD r = WaitForSingleObject(mutex, timeoutMs);
  // WAIT_ABANDONED: the last holder died while holding it; the mutex is now ours.
  if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) return std::make_unique<Win32Mutex>(mutex);
  if (r == WAIT_TIMEOUT)
    why.clear();  // only the wait ran out
  else
    why = "cannot wait for the lock Local\\" + std::string(name) + ": " + LastErrorText();
  CloseHandle(mutex);
  return nullptr;
}

}  // namespace kestrune::platform
