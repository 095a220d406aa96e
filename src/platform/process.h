// The operating-system seam for outside programs: starting one, waiting for its end, and counting
// the running processes of an image.
//
// No shell takes part anywhere: a program is started from its own file with exactly the arguments
// given, so no text that reaches an argument (a disk name, a volume label, a script parameter) can
// run a command of its own. One implementation is compiled per target (platform/linux,
// platform/win32) and returned by DefaultProcessLauncher(); tests may derive their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform {

// A started program. Destroying the object neither waits for the program nor ends it: the program
// runs on by itself, and its exit status is collected in the background.
class Process {
 public:
  virtual ~Process() = default;

  // The operating system's id of the process. Thread-safe.
  virtual uint32_t Id() const = 0;

  // Waits until the program has ended and returns its exit code (a program ended by a signal gives
  // 128 + the signal number). When cancel is given it is checked every pollMs milliseconds; once it
  // is true the wait gives up and returns nullopt, leaving the program running. Call from one thread
  // at a time; after an exit code was returned, further calls return it again.
  virtual std::optional<int> Wait(const std::atomic<bool>* cancel, uint32_t pollMs = 100) = 0;
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;

  // Starts the program file program (a full path, never searched for) with args, argument 0 first,
  // in workingFolder (empty: the caller's current folder). The program shares the caller's console
  // and inherits no other open file. Returns nullptr and sets error on failure. Thread-safe.
  virtual std::unique_ptr<Process> Start(const std::string& program, const std::vector<std::string>& args,
                                         const std::string& workingFolder, std::string& error) = 0;

  // As Start, with the arguments given as one command line in Windows form (argument 0 first). On
  // Windows the program receives the line unchanged; elsewhere the line is split by
  // SplitWindowsCommandLine (command_line_split.h) into the arguments a Windows program would see.
  virtual std::unique_ptr<Process> StartCommandLine(const std::string& program,
                                                    const std::string& commandLine,
                                                    const std::string& workingFolder, std::string& error) = 0;

  // The number of running processes whose image file name (without its folder) is imageName,
  // compared without regard to case. Thread-safe.
  virtual int CountRunning(std::string_view imageName) = 0;

  // The short (8.3) form of an existing path where the file system keeps one; else path itself.
  // Thread-safe.
  virtual std::string ShortPathForm(const std::string& path) = 0;

  // The folders a bare program name is looked for in after the working folder, in the form of the
  // PATH environment variable. Thread-safe.
  virtual std::string ProgramSearchPath() = 0;
};

// The launcher of the running platform. Never null; lives for the whole process.
ProcessLauncher& DefaultProcessLauncher();

// True for "/x", "\x" and "C:..." (a drive letter and a colon).
bool IsAbsolutePath(std::string_view path);

// The program file a command line's argument 0 names. A name that holds a folder part is taken as it
// is when absolute, else relative to workingFolder. A bare name is looked for in workingFolder, then
// in each folder of searchPath (';'-separated on Windows, ':'-separated elsewhere). On Windows a name
// without an extension is also tried with ".exe". nullopt when no such file exists.
std::optional<std::string> FindProgram(std::string_view name, const std::string& workingFolder,
                                       std::string_view searchPath);

}  // namespace kestrune::platform
