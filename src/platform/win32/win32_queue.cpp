#include "platform/win32/win32_queue.h"

#include <algorithm>

#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_device_tree.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_query_replies.h"

namespace kestrune::platform::win32 {
namespace {

constexpr uint32_t kFileSectorSize = 512;  // a file's alignment when the system does not say

bool IsDevicePath(const std::string& path) { return path.rfind("\\\\.\\", 0) == 0 && path.size() > 4; }

IoStatus StatusOfError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
    case ERROR_HANDLE_EOF:
      return IoStatus::kOk;
    case ERROR_OPERATION_ABORTED:
      return IoStatus::kCancelled;
    case ERROR_CRC:
    case ERROR_SECTOR_NOT_FOUND:
      return IoStatus::kMediaError;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return IoStatus::kNotSupported;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
      return IoStatus::kGone;
    default:
      return IoStatus::kFailed;
  }
}

UniqueHandle OpenOverlapped(const std::string& path, bool write, bool unbuffered, bool writeThrough) {
  const DWORD access = GENERIC_READ | (write ? GENERIC_WRITE : 0);
  const DWORD flags = FILE_FLAG_OVERLAPPED | (unbuffered ? FILE_FLAG_NO_BUFFERING : 0) |
                      (writeThrough ? FILE_FLAG_WRITE_THROUGH : 0);
  const std::wstring wide = Widen(path);
  return UniqueHandle(CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, flags, nullptr));
}

// The length and sector size of a disk or volume, asked on a handle of its own (the queue's
// overlapped handle takes no synchronous requests).
bool DeviceGeometry(const std::string& path, QueueFacts& f) {
  UniqueHandle h = OpenForQueries(path);
  if (!h) return false;
  auto length = Query(h.get(), winio::kIoctlDiskGetLengthInfo, {}, winio::kLengthInfoBytes);
  auto geometry = Query(h.get(), winio::kIoctlDiskGetDriveGeometryEx, {}, winio::kGeometryExBytes);
  std::optional<uint64_t> bytes = length ? winio::ReadLength(*length) : std::nullopt;
  std::optional<uint32_t> sector = geometry ? winio::ReadBytesPerSector(*geometry) : std::nullopt;
  if (!bytes || !sector || *sector == 0) return false;
  f.lengthBytes = *bytes;
  f.sectorSize = *sector;
  return true;
}

bool FileGeometry(HANDLE h, QueueFacts& f) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) return false;
  f.lengthBytes = static_cast<uint64_t>(size.QuadPart);
  FILE_STORAGE_INFO info{};
  f.sectorSize =
      GetFileInformationByHandleEx(h, FileStorageInfo, &info, sizeof info) && info.LogicalBytesPerSector > 0
          ? info.LogicalBytesPerSector
          : kFileSectorSize;
  return true;
}

}  // namespace

std::unique_ptr<Win32Queue> Win32Queue::Open(const std::string& path, const QueueOptions& options, Host& host,
                                             std::string& why) {
  if (options.depth == 0 || options.depth > kMaxQueueDepth) {
    why = "a queue has a depth of 1 to " + std::to_string(kMaxQueueDepth) + " requests";
    return nullptr;
  }
  std::unique_ptr<Win32Queue> q(new Win32Queue(path, host));
  const bool write = options.access == OpenAccess::kReadWrite;
  q->handle_ = OpenOverlapped(path, write, options.unbuffered, options.writeThrough);
  if (!q->handle_) {
    why = path + ": " + LastErrorText();
    return nullptr;
  }
  QueueFacts& f = q->facts_;
  f.mechanism = "overlapped";
  f.depth = options.depth;
  f.unbuffered = options.unbuffered;
  f.writeThrough = options.writeThrough;
  f.readOnly = !write;
  if (!(IsDevicePath(path) ? DeviceGeometry(path, f) : FileGeometry(q->handle_.get(), f))) {
    why = path + ": the target does not tell its size";
    return nullptr;
  }
  q->port_ = UniqueHandle(CreateIoCompletionPort(q->handle_.get(), nullptr, 0, 1));
  if (!q->port_) {
    why = path + ": no completion port (" + LastErrorText() + ")";
    return nullptr;
  }
  q->slots_.resize(options.depth);
  for (uint32_t i = options.depth; i > 0; --i) q->free_.push_back(i - 1);
  return q;
}

Win32Queue::~Win32Queue() {
  if (!port_) return;
  CancelAll();
  Drain();
}

HANDLE Win32Queue::FuaHandle() {
  if (facts_.writeThrough) return handle_.get();
  if (!writeThroughTried_) {
    writeThroughTried_ = true;
    UniqueHandle h = OpenOverlapped(path_, true, facts_.unbuffered, true);
    if (h && CreateIoCompletionPort(h.get(), port_.get(), 0, 0) != nullptr) writeThrough_ = std::move(h);
  }
  return writeThrough_.get();
}

bool Win32Queue::Start(Slot& s, DWORD& error) {
  const IoRequest& r = s.request;
  s.overlapped = OVERLAPPED{};
  s.overlapped.Offset = static_cast<DWORD>(r.offset);
  s.overlapped.OffsetHigh = static_cast<DWORD>(r.offset >> 32);
  s.handle = r.op == IoOp::kWriteFua ? FuaHandle() : handle_.get();
  if (s.handle == nullptr) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  BOOL ok = FALSE;
  switch (r.op) {
    case IoOp::kRead:
      ok = ReadFile(s.handle, r.data, static_cast<DWORD>(r.length), nullptr, &s.overlapped);
      break;
    case IoOp::kWrite:
    case IoOp::kWriteFua:
      ok = WriteFile(s.handle, r.data, static_cast<DWORD>(r.length), nullptr, &s.overlapped);
      break;
    case IoOp::kTrim:
      s.trim = winio::BuildTrimRequest(r.offset, r.length);
      ok = DeviceIoControl(s.handle, winio::kIoctlStorageManageDataSetAttributes, s.trim.data(),
                           static_cast<DWORD>(s.trim.size()), nullptr, 0, nullptr, &s.overlapped);
      break;
    case IoOp::kFlush:
      break;  // done at submit by the caller
  }
  error = ok ? ERROR_SUCCESS : GetLastError();
  return ok || error == ERROR_IO_PENDING;  // either way the port will have its completion
}

IoCompletion Win32Queue::Complete(Slot& s, DWORD error, uint64_t bytes, uint64_t now) {
  IoCompletion c;
  c.tag = s.request.tag;
  c.op = s.request.op;
  c.issueTicks = s.issue;
  c.completeTicks = std::max(now, s.issue);
  c.status = StatusOfError(error);
  if (c.status == IoStatus::kOk) {
    c.bytes = s.request.op == IoOp::kTrim ? s.request.length : s.request.op == IoOp::kFlush ? 0 : bytes;
  } else if (c.status != IoStatus::kCancelled) {
    c.systemError = static_cast<int32_t>(error);
  }
  s.busy = false;
  return c;
}

SubmitResult Win32Queue::Submit(std::span<const IoRequest> requests) {
  SubmitResult result;
  for (const IoRequest& r : requests) {
    result.status = CheckNextRequest(r, facts_, !free_.empty());
    if (result.status != SubmitStatus::kOk) break;
    const uint32_t index = free_.back();
    free_.pop_back();
    ++inFlight_;
    ++result.queued;
    Slot& s = slots_[index];
    s.request = r;
    s.busy = true;
    s.cancelAsked = false;
    if (r.op == IoOp::kFlush) {
      s.handle = handle_.get();
      s.issue = host_.Ticks();
      const DWORD error = FlushFileBuffers(s.handle) ? ERROR_SUCCESS : GetLastError();
      ready_.push_back(Complete(s, error, 0, host_.Ticks()));
      readySlots_.push_back(index);
      continue;
    }
    DWORD error = ERROR_SUCCESS;
    const bool started = Start(s, error);
    s.issue = host_.Ticks();
    if (!started) {
      ready_.push_back(Complete(s, error, 0, s.issue));
      readySlots_.push_back(index);
    }
  }
  return result;
}

size_t Win32Queue::Collect(std::span<IoCompletion> out, DWORD timeoutMs) {
  size_t n = 0;
  while (n < out.size() && !ready_.empty()) {
    out[n++] = ready_.front();
    ready_.pop_front();
    free_.push_back(readySlots_.front());
    readySlots_.pop_front();
    --inFlight_;
  }
  if (n > 0) timeoutMs = 0;
  while (n < out.size()) {
    std::array<OVERLAPPED_ENTRY, 64> entries{};
    ULONG got = 0;
    const ULONG room = static_cast<ULONG>(std::min<size_t>(entries.size(), out.size() - n));
    if (!GetQueuedCompletionStatusEx(port_.get(), entries.data(), room, &got, timeoutMs, FALSE) || got == 0)
      break;
    const uint64_t now = host_.Ticks();
    for (ULONG i = 0; i < got; ++i) {
      Slot& s = *reinterpret_cast<Slot*>(entries[i].lpOverlapped);  // the OVERLAPPED opens its slot
      DWORD bytes = 0;
      const DWORD error =
          GetOverlappedResult(s.handle, &s.overlapped, &bytes, FALSE) ? ERROR_SUCCESS : GetLastError();
      out[n++] = Complete(s, error, bytes, now);
      free_.push_back(static_cast<uint32_t>(&s - slots_.data()));
      --inFlight_;
    }
    timeoutMs = 0;
  }
  return n;
}

size_t Win32Queue::Reap(std::span<IoCompletion> out) { return inFlight_ == 0 ? 0 : Collect(out, 0); }

size_t Win32Queue::Wait(std::span<IoCompletion> out, uint32_t timeoutMs) {
  return inFlight_ == 0 ? 0 : Collect(out, timeoutMs);
}

size_t Win32Queue::Cancel(uint64_t tag) {
  size_t asked = 0;
  for (Slot& s : slots_) {
    if (!s.busy || s.cancelAsked || s.request.tag != tag || s.request.op == IoOp::kFlush) continue;
    s.cancelAsked = true;
    if (CancelIoEx(s.handle, &s.overlapped)) ++asked;
  }
  return asked;
}

size_t Win32Queue::CancelAll() {
  size_t asked = 0;
  for (Slot& s : slots_) {
    if (!s.busy || s.cancelAsked || s.request.op == IoOp::kFlush) continue;
    s.cancelAsked = true;
    if (CancelIoEx(s.handle, &s.overlapped)) ++asked;
  }
  return asked;
}

std::unique_ptr<AsyncQueue> Win32DeviceTree::OpenQueue(const std::string& path, const QueueOptions& options,
                                                       Host& host, std::string& why) {
  return Win32Queue::Open(path, options, host, why);
}

}  // namespace kestrune::platform::win32
