#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace kestrune::platform {
namespace {

std::mutex gRedirectMutex;
int gSavedStdout = -1;  // the standard output of the start while it is redirected; -1 otherwise

}  // namespace

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
