// The barrier block on Windows: a page-file backed mapping "Local\NAME" (the session's namespace,
// the creator's default DACL), a named mutex "Local\NAME_Lock" as its lock, and the manual-reset
// event "Local\SyncEvent" used only to wake waiters early: every waiter looks at the generation
// word itself, so a wake-up that comes late or not at all costs at most one wait slice.
//
// A mutex whose holder died comes back as WAIT_ABANDONED: it counts as taken, and the taker is
// told (repaired).
#include "platform/barrier_block.h"

#include <windows.h>

#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>

#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

static_assert(std::endian::native == std::endian::little);

constexpr DWORD kLockWaitMs = 10000;

std::atomic_ref<uint32_t> Word(uint8_t* bytes, size_t offset) {
  return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(bytes + offset));
}

uint64_t CreationTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

class Win32BarrierBlock final : public BarrierBlock {
 public:
  Win32BarrierBlock(std::string shown, HANDLE mapping, HANDLE mutex, HANDLE event, uint8_t* bytes)
      : shown_(std::move(shown)), mapping_(mapping), mutex_(mutex), event_(event), bytes_(bytes) {}
  ~Win32BarrierBlock() override {
    UnmapViewOfFile(bytes_);
    CloseHandle(event_);
    CloseHandle(mutex_);
    CloseHandle(mapping_);
  }
  Win32BarrierBlock(const Win32BarrierBlock&) = delete;
  Win32BarrierBlock& operator=(const Win32BarrierBlock&) = delete;

  bool Lock(bool& repaired, std::string& why) override {
    repaired = false;
    const DWORD r = WaitForSingleObject(mutex_, kLockWaitMs);
    if (r == WAIT_OBJECT_0) return true;
    if (r == WAIT_ABANDONED) {  // the holder died holding it: it is ours now
      repaired = true;
      return true;
    }
    if (r == WAIT_TIMEOUT)
      why = "the barrier block " + shown_ + " stayed locked for " + std::to_string(kLockWaitMs / 1000) + " s";
    else
      why = "cannot lock the barrier block " + shown_ + ": " + LastErrorText();
    return false;
  }

  void Unlock() override { ReleaseMutex(mutex_); }

  std::span<uint8_t> Bytes() override { return {bytes_, kBarrierBlockBytes}; }

  void WakeWaiters() override { SetEvent(event_); }

  void WaitForChange(uint32_t seen, uint32_t ms) override {
    if (Word(bytes_, kBarrierGenerationOffset).load() != seen) return;
    if (WaitForSingleObject(event_, ms) == WAIT_OBJECT_0 &&
        Word(bytes_, kBarrierGenerationOffset).load() == seen)
      ResetEvent(event_);  // a wake-up of an earlier release: let the next wait block again
  }

 private:
  std::string shown_;
  HANDLE mapping_;
  HANDLE mutex_;
  HANDLE event_;
  uint8_t* bytes_;
};

class Win32BarrierSystem final : public BarrierSystem {
 public:
  std::unique_ptr<BarrierBlock> Open(std::string_view name, std::string& why) override {
    if (name.empty()) {
      why = "a barrier block needs a name";
      return nullptr;
    }
    const std::string shown = "Local\\" + std::string(name);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(kBarrierBlockBytes), Widen(shown).c_str());
    if (mapping == nullptr) {
      why = "cannot open the barrier block " + shown + ": " + LastErrorText();
      return nullptr;
    }
    // An existing section smaller than the layout (the older 16-byte block) cannot be mapped whole.
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, kBarrierBlockBytes);
    if (view == nullptr) {
      why = "refused the barrier block " + shown + ": it is smaller than " +
            std::to_string(kBarrierBlockBytes) + " bytes (" + LastErrorText() + ")";
      CloseHandle(mapping);
      return nullptr;
    }
    HANDLE mutex = CreateMutexW(nullptr, FALSE, Widen(shown + "_Lock").c_str());
    HANDLE event = mutex ? CreateEventW(nullptr, TRUE, FALSE, L"Local\\SyncEvent") : nullptr;
    auto fail = [&](std::string reason) -> std::unique_ptr<BarrierBlock> {
      why = std::move(reason);
      if (event) CloseHandle(event);
      if (mutex) CloseHandle(mutex);
      UnmapViewOfFile(view);
      CloseHandle(mapping);
      return nullptr;
    };
    if (mutex == nullptr)
      return fail("cannot open the lock of the barrier block " + shown + ": " + LastErrorText());
    if (event == nullptr) return fail("cannot open the event Local\\SyncEvent: " + LastErrorText());
    auto block =
        std::make_unique<Win32BarrierBlock>(shown, mapping, mutex, event, static_cast<uint8_t*>(view));
    bool repaired = false;
    if (!block->Lock(repaired, why)) return nullptr;
    uint8_t* bytes = block->Bytes().data();
    const uint32_t magic = Word(bytes, kBarrierMagicOffset).load();
    if (magic == 0 && Word(bytes, kBarrierGenerationOffset).load() == 0) {
      // A new section is all zeros; whoever locks it first sets it up.
      Word(bytes, kBarrierGenerationOffset).store(1);
      Word(bytes, kBarrierMagicOffset).store(kBarrierMagic);
    } else if (magic != kBarrierMagic) {
      block->Unlock();
      char text[80];
      std::snprintf(text, sizeof text, "its magic is 0x%08X, not 0x%08X", magic, kBarrierMagic);
      why = "refused the barrier block " + shown + ": " + text;
      return nullptr;
    }
    block->Unlock();
    return block;
  }

  ProcessIdentity Self() override { return {GetCurrentProcessId(), CreationTime(GetCurrentProcess())}; }

  bool Alive(const ProcessIdentity& process) override {
    if (process.pid == 0) return false;
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, process.pid);
    if (h == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;  // it exists, but is not ours to ask
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    const uint64_t created = CreationTime(h);
    CloseHandle(h);
    return running && (created == 0 || created == process.startTime);
  }
};

}  // namespace

BarrierSystem& DefaultBarrierSystem() {
  static Win32BarrierSystem* system = new Win32BarrierSystem;
  return *system;
}

}  // namespace kestrune::platform
