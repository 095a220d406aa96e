// Outside programs on Linux: posix_spawn of the program file (no shell), waitpid, and /proc for the
// running-process count.
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/command_line_split.h"
#include "platform/process.h"

extern char** environ;

namespace kestrune::platform {
namespace {

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

class LinuxProcess final : public Process {
 public:
  explicit LinuxProcess(pid_t pid) : pid_(pid) {}

  ~LinuxProcess() override {
    if (exitCode_) return;
    // Nobody waits for the program any more: collect its exit in the background so that it does not
    // stay behind as a zombie.
    pid_t pid = pid_;
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  }

  uint32_t Id() const override { return static_cast<uint32_t>(pid_); }

  std::optional<int> Wait(const std::atomic<bool>* cancel, uint32_t pollMs) override {
    if (exitCode_) return exitCode_;
    // Short programs are common: poll quickly at first, then every pollMs.
    uint32_t nap = 1;
    for (;;) {
      int status = 0;
      pid_t r = ::waitpid(pid_, &status, cancel ? WNOHANG : 0);
      if (r == pid_) return exitCode_ = DecodeStatus(status);
      if (r < 0) {
        if (errno == EINTR) continue;
        return exitCode_ = -1;  // collected elsewhere (SIGCHLD ignored): the code is lost
      }
      if (cancel->load()) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(nap));
      nap = std::min(std::max<uint32_t>(pollMs, 1), nap * 2);
    }
  }

 private:
  pid_t pid_;
  std::optional<int> exitCode_;
};

std::string BaseName(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// True when the process in /proc/<pid> runs the image imageName. The kernel keeps the executed
// file's name as the command name, cut to 15 characters; for a script it is the script's name while
// the image is its interpreter, so both are looked at, and a command name that may have been cut is
// confirmed with the first two arguments (a script's interpreter comes first).
bool RunsImage(const std::string& dir, std::string_view imageName) {
  constexpr size_t kCommChars = 15;
  std::string stat = ReadFirstLine(dir + "/stat");
  size_t close = stat.rfind(')');
  if (close == std::string::npos) return false;
  if (close + 2 < stat.size() && stat[close + 2] == 'Z') return false;  // ended, not yet collected

  char buf[4096];
  ssize_t n = ::readlink((dir + "/exe").c_str(), buf, sizeof buf - 1);
  if (n > 0 && SameNameNoCase(BaseName(std::string_view(buf, static_cast<size_t>(n))), imageName))
    return true;

  std::string comm = ReadFirstLine(dir + "/comm");
  if (comm.size() < kCommChars) return SameNameNoCase(comm, imageName);
  if (!SameNameNoCase(comm, imageName.substr(0, std::min(imageName.size(), kCommChars)))) return false;
  std::ifstream in(dir + "/cmdline", std::ios::binary);
  std::string arg;
  for (int i = 0; i < 2 && std::getline(in, arg, '\0'); ++i)
    if (SameNameNoCase(BaseName(arg), imageName)) return true;
  return false;
}

class LinuxProcessLauncher final : public ProcessLauncher {
 public:
  std::unique_ptr<Process> Start(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& workingFolder, std::string& error) override {
    std::vector<char*> argv;
    if (args.empty()) argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    // Only the console (standard input, output and error) is shared with the program.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
      error = program + ": " + std::strerror(rc);
      return nullptr;
    }
    return std::make_unique<LinuxProcess>(pid);
  }

  std::unique_ptr<Process> StartCommandLine(const std::string& program, const std::string& commandLine,
                                            const std::string& workingFolder, std::string& error) override {
    return Start(program, SplitWindowsCommandLine(commandLine), workingFolder, error);
  }

  int CountRunning(std::string_view imageName) override {
    if (imageName.empty()) return 0;
    int count = 0;
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    while (dirent* e = ::readdir(proc)) {
      if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
      if (RunsImage(std::string("/proc/") + e->d_name, imageName)) ++count;
    }
    ::closedir(proc);
    return count;
  }

  std::string ShortPathForm(const std::string& path) override { return path; }

  std::string ProgramSearchPath() override {
    const char* path = std::getenv("PATH");
    return path ? path : "/usr/local/bin:/usr/bin:/bin";
  }
};

}  // namespace

ProcessLauncher& DefaultProcessLauncher() {
  static LinuxProcessLauncher launcher;
  return launcher;
}

}  // namespace kestrune::platform
