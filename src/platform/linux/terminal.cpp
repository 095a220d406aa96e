#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string_view>

namespace kestrune::platform {
namespace {

std::mutex gRedirectMutex;
int gSavedStdout = -1;  // the standard output of the start while it is redirected; -1 otherwise

uint64_t NowMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void Echo(std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

// Standard input byte by byte; on a terminal in non-canonical mode without echo (the reader echoes
// and edits itself), signals kept so that Ctrl-C still reaches the interrupt handler.
class StdinPromptReader final : public PromptReader {
 public:
  StdinPromptReader() {
    if (::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &saved_) == 0) {
      termios raw = saved_;
      raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
      raw.c_cc[VMIN] = 1;
      raw.c_cc[VTIME] = 0;
      terminal_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
  }
  ~StdinPromptReader() override {
    if (terminal_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }

  PromptEvent Read(uint32_t timeoutMs, const std::atomic<bool>* cancel) override {
    const uint64_t end = timeoutMs == kForever ? UINT64_MAX : NowMs() + timeoutMs;
    for (;;) {
      if (cancel && cancel->load()) return {};
      const uint64_t now = NowMs();
      if (now >= end) return {};
      const int slice = static_cast<int>(std::min<uint64_t>(end - now, 100));
      if (!Ready(slice)) continue;
      char c = 0;
      const ssize_t n = ::read(STDIN_FILENO, &c, 1);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {  // the input is closed: a last line without a line end still counts
        if (line_.empty()) return {PromptEvent::Kind::kEnd, {}};
        return Finished();
      }
      if (c == '\r' || c == '\n') {
        typing_ = true;
        return Finished();
      }
      if (c == 0x1b) {
        if (!Ready(30)) return {PromptEvent::Kind::kEscape, {}};
        SkipSequence();
        continue;
      }
      if (c == 0x04 && line_.empty()) return {PromptEvent::Kind::kEnd, {}};
      if (c == 0x7f || c == 0x08) {
        Erase(1);
        continue;
      }
      if (c == 0x15) {
        Erase(line_.size());
        continue;
      }
      if (static_cast<unsigned char>(c) < 0x20) continue;
      typing_ = true;
      line_ += c;
      if (terminal_) Echo(std::string_view(&c, 1));
    }
  }
  bool Typing() const override { return typing_; }

 private:
  static bool Ready(int ms) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&p, 1, ms);
    return ready > 0;
  }
  PromptEvent Finished() {
    PromptEvent e{PromptEvent::Kind::kLine, std::move(line_)};
    line_.clear();
    return e;
  }
  // The rest of a cursor or function key's sequence (ESC [ ... final byte, ESC O x).
  void SkipSequence() {
    char c = 0;
    if (::read(STDIN_FILENO, &c, 1) != 1) return;
    if (c != '[' && c != 'O') return;
    const bool single = c == 'O';
    while (Ready(30) && ::read(STDIN_FILENO, &c, 1) == 1) {
      if (single || (c >= 0x40 && c <= 0x7e)) return;
    }
  }
  // Removes up to count characters (whole UTF-8 sequences) from the end of the line.
  void Erase(size_t count) {
    for (size_t k = 0; k < count && !line_.empty(); ++k) {
      while (!line_.empty() && (static_cast<unsigned char>(line_.back()) & 0xC0) == 0x80) line_.pop_back();
      if (!line_.empty()) line_.pop_back();
      if (terminal_) Echo("\b \b");
    }
  }

  termios saved_{};
  bool terminal_ = false;
  bool typing_ = false;
  std::string line_;
};

}  // namespace

std::unique_ptr<PromptReader> OpenPromptReader() { return std::make_unique<StdinPromptReader>(); }

bool OperatorAtTerminal() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1; }

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

std::optional<std::string> ReadStandardInputLine(const std::atomic<bool>* cancel) {
  constexpr int kPollMs = 100;
  std::string line;
  for (;;) {
    if (cancel && cancel->load()) return std::nullopt;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    int ready = ::poll(&p, 1, kPollMs);
    if (ready < 0 && errno != EINTR) return std::nullopt;
    if (ready <= 0) continue;
    char c = 0;
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {  // end of input: a last line without a line end still counts
      if (line.empty()) return std::nullopt;
      return line;
    }
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool RedirectStandardOutput(const std::string& path, bool append) {
  std::lock_guard<std::mutex> guard(gRedirectMutex);
  std::fflush(stdout);
  if (path.empty()) {
    if (gSavedStdout < 0) return true;
    if (::dup2(gSavedStdout, STDOUT_FILENO) < 0) return false;
    ::close(gSavedStdout);
    gSavedStdout = -1;
    return true;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
  if (fd < 0) return false;
  if (gSavedStdout < 0) {
    gSavedStdout = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (gSavedStdout < 0) {
      ::close(fd);
      return false;
    }
  }
  bool ok = ::dup2(fd, STDOUT_FILENO) >= 0;  // the new descriptor 1 is inherited by child processes
  ::close(fd);
  return ok;
}

}  // namespace kestrune::platform
