// Host for Linux: /proc for the program path and ancestors, POSIX calls for the rest.
#include <sched.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/embedded_package.h"
#include "platform/host.h"
#include "platform/named_objects.h"

namespace kestrune::platform {
namespace {

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
}

// Reads /proc/<pid>/stat field 4 (parent pid).
int ParentOf(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return 0;
  // The command name is in parentheses and may itself hold blanks or parentheses.
  auto close = line.rfind(')');
  if (close == std::string::npos) return 0;
  char state = 0;
  int ppid = 0;
  if (sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) != 2) return 0;
  return ppid;
}

std::string ExePathOf(int pid) {
  char buf[4096];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  if (n <= 0) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string comm;
    std::getline(in, comm);
    return comm;
  }
  return std::string(buf, static_cast<size_t>(n));
}

class LinuxHost final : public Host {
 public:
  std::vector<std::string> Arguments() const override {
    // /proc/self/cmdline holds the arguments NUL-separated, exactly as the kernel received them.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> args;
    std::string arg;
    while (std::getline(in, arg, '\0')) args.push_back(arg);
    return args;
  }

  std::string TempFolder() const override {
    for (const char* name : {"TMPDIR", "TMP", "TEMP"}) {
      const char* v = std::getenv(name);
      if (v && *v) {
        std::string s = v;
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        return s;
      }
    }
    // Not /tmp: it may be emptied at boot, and a run saved before a restart goes on from here.
    return "/var/tmp";
  }

  std::string ProgramPath() const override { return ExePathOf(static_cast<int>(::getpid())); }

  std::string ProgramFolder() const override {
    std::string p = ProgramPath();
    auto slash = p.rfind('/');
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash == 0 ? 1 : slash);
  }

  uint32_t ProcessId() const override { return static_cast<uint32_t>(::getpid()); }

  LocalTime Now() const override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    localtime_r(&ts.tv_sec, &t);
    return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                     t.tm_min,         t.tm_sec,     static_cast<int>(ts.tv_nsec / 1000000)};
  }

  uint64_t MonotonicMs() const override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  }

  void SleepMs(uint32_t ms) override {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
  }

  uint64_t Ticks() const override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
  }

  uint64_t TickFrequency() const override { return 1000000000u; }

  uint32_t ProcessorCount() const override {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
      int n = CPU_COUNT(&set);
      if (n > 0) return static_cast<uint32_t>(n);
    }
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<uint32_t>(online) : 1u;
  }

  bool RandomBytes(std::span<uint8_t> bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = getrandom(bytes.data() + done, bytes.size() - done, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += static_cast<size_t>(n);
    }
    return true;
  }

  bool CreateFolders(const std::string& path) override {
    if (path.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
      pos = path.find('/', pos + 1);
      partial = path.substr(0, pos);
      if (partial.empty()) continue;
      if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  std::span<const uint8_t> EmbeddedPackage() const override { return EmbeddedPackageBytes(); }

  // A Linux process already writes to the terminal it was started from.
  bool AttachConsole() override { return true; }
  void DetachConsole() override {}

  void WriteStdout(std::string_view text) override { WriteAll(STDOUT_FILENO, text); }
  void WriteStderr(std::string_view text) override { WriteAll(STDERR_FILENO, text); }

  bool UnderRemoteLogin() override {
    if (std::getenv("SSH_CONNECTION") || std::getenv("SSH_TTY")) return true;
    int pid = static_cast<int>(::getpid());
    for (int i = 0; i < 10; ++i) {
      pid = ParentOf(pid);
      if (pid <= 1) break;
      std::string exe = ExePathOf(pid);
      if (exe.find("sshd") != std::string::npos) return true;
    }
    return false;
  }

  std::string ToAnsi(std::string_view utf8) const override { return std::string(utf8); }
  std::string FromAnsi(std::string_view ansi) const override { return std::string(ansi); }

  // ---- Named shared memory and machine-wide locks ----
  std::unique_ptr<SharedBlock> OpenSharedBlock(std::string_view name, size_t size,
                                               std::string& why) override {
    return OpenNamedSharedBlock(name, size, why);
  }
  std::unique_ptr<NamedLock> AcquireNamedLock(std::string_view name, uint32_t timeoutMs,
                                              std::string& why) override {
    return AcquireMachineLock(name, timeoutMs, why);
  }
  // ---- end of named shared memory and machine-wide locks ----
};

}  // namespace

Host& DefaultHost() {
  static LinuxHost host;
  return host;
}

}  // namespace kestrune::platform
