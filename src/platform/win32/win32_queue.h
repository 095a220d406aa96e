// The Windows queue (async_queue.h): the target (a disk, a volume or a file) opened overlapped and,
// unless asked otherwise, unbuffered; one OVERLAPPED per slot; completions from an I/O completion
// port, peeked without waiting or waited for with a timeout (GetQueuedCompletionStatusEx);
// CancelIoEx per request. FUA writes go through a second handle opened with
// FILE_FLAG_WRITE_THROUGH (on first use), trims as an overlapped
// IOCTL_STORAGE_MANAGE_DATA_SET_ATTRIBUTES with the request bytes kept in the slot until it
// completes (a file has no such trim: it fails), flushes by FlushFileBuffers at once.
#pragma once

#include <windows.h>

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "platform/win32/win32_io.h"
#include "platform/win_storage_layouts.h"

namespace kestrune::platform::win32 {

class Win32Queue final : public AsyncQueue {
 public:
  // nullptr with one sentence in why when the target does not open or the options are unsound.
  static std::unique_ptr<Win32Queue> Open(const std::string& path, const QueueOptions& options, Host& host,
                                          std::string& why);
  ~Win32Queue() override;

  const QueueFacts& facts() const override { return facts_; }
  uint32_t InFlight() const override { return inFlight_; }
  using AsyncQueue::Submit;  // and the one-request form
  SubmitResult Submit(std::span<const IoRequest> requests) override;
  size_t Reap(std::span<IoCompletion> out) override;
  size_t Wait(std::span<IoCompletion> out, uint32_t timeoutMs) override;
  size_t Cancel(uint64_t tag) override;
  size_t CancelAll() override;

 private:
  struct Slot {
    OVERLAPPED overlapped;  // the system's request block: lives as long as the queue
    IoRequest request;
    uint64_t issue;
    HANDLE handle;  // the handle the request went through
    std::array<uint8_t, winio::kTrimRequestBytes> trim;
    bool busy;
    bool cancelAsked;
  };

  Win32Queue(std::string path, Host& host) : path_(std::move(path)), host_(host) {}
  // The handle of FUA writes: the main one when every write goes through, else a second one.
  HANDLE FuaHandle();
  // Starts the request in this slot; false with the error when the system refused it at once.
  bool Start(Slot& s, DWORD& error);
  IoCompletion Complete(Slot& s, DWORD error, uint64_t bytes, uint64_t now);
  size_t Collect(std::span<IoCompletion> out, DWORD timeoutMs);

  std::string path_;
  Host& host_;
  QueueFacts facts_;
  UniqueHandle handle_;
  UniqueHandle writeThrough_;
  bool writeThroughTried_ = false;
  UniqueHandle port_;
  std::vector<Slot> slots_;  // never resized: the system holds pointers into it
  std::vector<uint32_t> free_;
  uint32_t inFlight_ = 0;
  std::deque<IoCompletion> ready_;  // requests done or refused at submit
  std::deque<uint32_t> readySlots_;
};

}  // namespace kestrune::platform::win32
