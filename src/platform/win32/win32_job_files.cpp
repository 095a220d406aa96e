// JobFile on Windows: a synchronous handle read and written at offsets given in an OVERLAPPED.
// Unbuffered reads open with FILE_FLAG_NO_BUFFERING; where the file system refuses it the file is
// opened for cached reads. A created file is not shared (share mode 0) and replaces an existing one.
#include <windows.h>

#include <algorithm>

#include "platform/job_files.h"
#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

constexpr DWORD kMaxPiece = 64u * 1024 * 1024;

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

class Win32JobFile final : public JobFile {
 public:
  Win32JobFile(HANDLE h, bool unbuffered) : h_(h), unbuffered_(unbuffered) {}
  ~Win32JobFile() override { CloseHandle(h_); }

  uint64_t Size() override {
    LARGE_INTEGER size{};
    return GetFileSizeEx(h_, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  }
  bool unbuffered() const override { return unbuffered_; }

  FileIo ReadAt(uint64_t offset, std::span<uint8_t> bytes) override {
    FileIo io;
    while (io.bytes < bytes.size()) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - io.bytes, kMaxPiece));
      OVERLAPPED o = At(offset + io.bytes);
      DWORD got = 0;
      if (!ReadFile(h_, bytes.data() + io.bytes, want, &got, &o)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        io.why = LastErrorText();
        return io;
      }
      if (got == 0) break;
      io.bytes += got;
      if (got < want) break;
    }
    io.ok = true;
    return io;
  }

  FileIo WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    FileIo io;
    while (io.bytes < bytes.size()) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - io.bytes, kMaxPiece));
      OVERLAPPED o = At(offset + io.bytes);
      DWORD put = 0;
      if (!WriteFile(h_, bytes.data() + io.bytes, want, &put, &o) || put == 0) {
        const DWORD e = GetLastError();
        io.diskFull = e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL || put == 0;
        io.why = LastErrorText();
        return io;
      }
      io.bytes += put;
    }
    io.ok = true;
    return io;
  }

  bool Flush(std::string& why) override {
    if (FlushFileBuffers(h_)) return true;
    why = LastErrorText();
    return false;
  }

 private:
  HANDLE h_;
  bool unbuffered_;
};

}  // namespace

std::unique_ptr<JobFile> OpenSystemJobFile(const std::string& path, FileAccess access, std::string& why) {
  const std::wstring wide = Widen(path);
  HANDLE h = INVALID_HANDLE_VALUE;
  bool unbuffered = false;
  if (access == FileAccess::kCreate) {
    h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    if (access == FileAccess::kReadUnbuffered) {
      h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING, nullptr);
      unbuffered = h != INVALID_HANDLE_VALUE;
      if (!unbuffered && GetLastError() != ERROR_INVALID_PARAMETER) {
        why = LastErrorText();
        return nullptr;
      }
    }
    if (h == INVALID_HANDLE_VALUE)
      h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) {
    why = LastErrorText();
    return nullptr;
  }
  return std::make_unique<Win32JobFile>(h, unbuffered);
}

}  // namespace kestrune::platform
