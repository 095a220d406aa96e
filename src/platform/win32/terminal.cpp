#include "platform/terminal.h"

#include <windows.h>

#include <mutex>

#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

std::mutex gRedirectMutex;
bool gRedirected = false;
HANDLE gStartStdout = nullptr;  // the standard output of the start while it is redirected
HANDLE gCurrentFile = nullptr;  // the file standard output goes to now
// The file before the current one. It is closed only at the redirect after next, so that a thread
// that took the standard handle just before a redirect never writes through a closed handle.
HANDLE gPreviousFile = nullptr;

void Retire(HANDLE file) {
  if (gPreviousFile) CloseHandle(gPreviousFile);
  gPreviousFile = file;
}

// Standard input key by key: console key events when it is a console (the mode without line input
// and echo while the object lives; Ctrl-C keeps working), else bytes of the file or pipe.
class StdinPromptReader final : public PromptReader {
 public:
  StdinPromptReader() : in_(GetStdHandle(STD_INPUT_HANDLE)) {
    if (in_ != nullptr && in_ != INVALID_HANDLE_VALUE && GetConsoleMode(in_, &saved_)) {
      console_ = SetConsoleMode(in_, (saved_ & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) | ENABLE_PROCESSED_INPUT) != 0;
    }
  }
  ~StdinPromptReader() override {
    if (console_) SetConsoleMode(in_, saved_);
  }

  PromptEvent Read(uint32_t timeoutMs, const std::atomic<bool>* cancel) override {
    if (in_ == nullptr || in_ == INVALID_HANDLE_VALUE) return {PromptEvent::Kind::kEnd, {}};
    const ULONGLONG end = timeoutMs == kForever ? ~0ULL : GetTickCount64() + timeoutMs;
    for (;;) {
      if (cancel && cancel->load()) return {};
      const ULONGLONG now = GetTickCount64();
      if (now >= end) return {};
      const DWORD slice = static_cast<DWORD>(end - now < 100 ? end - now : 100);
      if (!console_) return ReadBytes();
      if (WaitForSingleObject(in_, slice) != WAIT_OBJECT_0) continue;
      INPUT_RECORD record{};
      DWORD got = 0;
      if (!ReadConsoleInputW(in_, &record, 1, &got) || got == 0) return {PromptEvent::Kind::kEnd, {}};
      if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
      const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
      const wchar_t ch = key.uChar.UnicodeChar;
      if (key.wVirtualKeyCode == VK_ESCAPE) return {PromptEvent::Kind::kEscape, {}};
      typing_ = true;
      if (key.wVirtualKeyCode == VK_RETURN) return Finished();
      if (key.wVirtualKeyCode == VK_BACK) {
        if (!line_.empty()) {
          line_.pop_back();
          Echo(L"\b \b");
        }
        continue;
      }
      if (ch == 0x1a && line_.empty()) return {PromptEvent::Kind::kEnd, {}};
      if (ch < 0x20) continue;
      for (WORD n = 0; n < (key.wRepeatCount ? key.wRepeatCount : 1); ++n) {
        line_ += ch;
        Echo(std::wstring(1, ch));
      }
    }
  }
  bool Typing() const override { return typing_; }

 private:
  void Echo(const std::wstring& text) {
    DWORD written = 0;
    WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  PromptEvent Finished() {
    PromptEvent e{PromptEvent::Kind::kLine, Narrow(line_)};
    line_.clear();
    return e;
  }
  // A file or pipe: one line of bytes (the wait has no limit there).
  PromptEvent ReadBytes() {
    std::string bytes;
    for (;;) {
      char c = 0;
      DWORD got = 0;
      if (!ReadFile(in_, &c, 1, &got, nullptr) || got == 0) {
        if (bytes.empty()) return {PromptEvent::Kind::kEnd, {}};
        break;
      }
      if (c == 0x1b) return {PromptEvent::Kind::kEscape, {}};
      typing_ = true;
      if (c == '\n') break;
      bytes += c;
    }
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    return {PromptEvent::Kind::kLine, bytes};
  }

  HANDLE in_;
  DWORD saved_ = 0;
  bool console_ = false;
  bool typing_ = false;
  std::wstring line_;
};

}  // namespace

std::unique_ptr<PromptReader> OpenPromptReader() { return std::make_unique<StdinPromptReader>(); }

bool OperatorAtTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0 &&
         GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> ReadStandardInputLine(const std::atomic<bool>* cancel) {
  if (cancel && cancel->load()) return std::nullopt;
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return std::nullopt;
  DWORD mode = 0;
  if (GetConsoleMode(in, &mode)) {
    std::wstring line;
    wchar_t buf[256];
    for (;;) {
      DWORD got = 0;
      // Ctrl-C ends the read with nothing read.
      if (!ReadConsoleW(in, buf, 256, &got, nullptr) || got == 0) return std::nullopt;
      line.append(buf, got);
      size_t end = line.find(L'\n');
      if (end != std::wstring::npos) {
        line.resize(end);
        break;
      }
    }
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (cancel && cancel->load()) return std::nullopt;
    return Narrow(line);
  }
  std::string line;
  for (;;) {
    char c = 0;
    DWORD got = 0;
    if (!ReadFile(in, &c, 1, &got, nullptr) || got == 0) {
      if (line.empty()) return std::nullopt;
      break;
    }
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool RedirectStandardOutput(const std::string& path, bool append) {
  std::lock_guard<std::mutex> guard(gRedirectMutex);
  if (path.empty()) {
    if (!gRedirected) return true;
    SetStdHandle(STD_OUTPUT_HANDLE, gStartStdout);
    Retire(gCurrentFile);
    gCurrentFile = nullptr;
    gRedirected = false;
    return true;
  }
  HANDLE file = CreateFileW(Widen(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (!gRedirected) {
    gStartStdout = GetStdHandle(STD_OUTPUT_HANDLE);
    gRedirected = true;
  }
  SetStdHandle(STD_OUTPUT_HANDLE, file);
  if (gCurrentFile) Retire(gCurrentFile);
  gCurrentFile = file;
  return true;
}

}  // namespace kestrune::platform
