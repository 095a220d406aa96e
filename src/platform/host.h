// The operating-system seam for everything that is not a disk: folders, the process, time, the console,
// the bytes of the script package built into the program, named shared memory and machine-wide locks.
//
// One implementation is compiled per target (platform/linux, platform/win32) and returned by DefaultHost().
// Tests derive from Host and override what they need (FakeHost in tests/), which is how the clock is
// injected: nothing in the program reads the time except through a Host.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform {

// Calendar time in the machine's local time zone.
struct LocalTime {
  int year = 0;
  int month = 0;   // 1-12
  int day = 0;     // 1-31
  int hour = 0;    // 0-23
  int minute = 0;  // 0-59
  int second = 0;  // 0-59
  int millisecond = 0;
};

// ---- Named shared memory and machine-wide locks (types) ----

// A named block of shared memory, mapped into this process for the life of the object. Every
// process of the same user that opens the same name sees the same bytes. The block exists as long as
// some process keeps it mapped; once the last mapping is gone its contents are lost, and the next
// opener gets a fresh, zero-filled block.
class SharedBlock {
 public:
  virtual ~SharedBlock() = default;
  // The mapped bytes (exactly the size asked for). Valid until the object is destroyed. Other
  // processes change them at any time: guard every access with a NamedLock the users agree on.
  virtual std::span<uint8_t> Bytes() = 0;
  // True when this open created the block (so it started zero-filled), false when it joined a block
  // that another mapping already kept alive.
  virtual bool Created() const = 0;
};

// A held machine-wide lock (machine-wide among the processes of one user); destroying the object
// releases it. Release it on the thread that took it.
class NamedLock {
 public:
  virtual ~NamedLock() = default;
};

class Host {
 public:
  virtual ~Host() = default;

  // The program's arguments as the platform's standard splitter gives them, UTF-8, argument 0 included.
  // Thread-safe; the result does not change during the process.
  virtual std::vector<std::string> Arguments() const = 0;

  // The user's temporary folder, without a trailing separator. Thread-safe.
  virtual std::string TempFolder() const = 0;

  // Full path of the running program file. Thread-safe.
  virtual std::string ProgramPath() const = 0;

  // The folder that holds the program file, without a trailing separator. Thread-safe.
  virtual std::string ProgramFolder() const = 0;

  // The process id. Thread-safe.
  virtual uint32_t ProcessId() const = 0;

  // Local wall-clock time now. Thread-safe.
  virtual LocalTime Now() const = 0;

  // Milliseconds from an arbitrary fixed point; never goes backwards. Thread-safe.
  virtual uint64_t MonotonicMs() const = 0;

  // Blocks the calling thread for ms milliseconds (a fake host may return at once). Thread-safe.
  virtual void SleepMs(uint32_t ms) = 0;

  // A high-resolution counter that never goes backwards, in units of 1/TickFrequency() seconds, from an
  // arbitrary fixed point (the same one for every thread of the process). For latencies and rates.
  // Thread-safe.
  virtual uint64_t Ticks() const = 0;

  // Counts of Ticks() per second; constant for the life of the process, never 0. Thread-safe.
  virtual uint64_t TickFrequency() const = 0;

  // The number of processors this process may run on (at least 1). Thread-safe.
  virtual uint32_t ProcessorCount() const = 0;

  // Fills bytes from the system's cryptographic random source (seeds of workers, random draws that
  // must not repeat across instances). False when the source fails; bytes are then unspecified.
  // Thread-safe.
  virtual bool RandomBytes(std::span<uint8_t> bytes) = 0;

  // Creates the folder and any missing parents. True when the folder exists afterwards. Thread-safe.
  virtual bool CreateFolders(const std::string& path) = 0;

  // The bytes of the script package linked into the program; empty when the build has none.
  // The span stays valid for the life of the process. Thread-safe.
  virtual std::span<const uint8_t> EmbeddedPackage() const = 0;

  // Attaches to the console of the parent process (Windows) so that standard output reaches it.
  // Returns false when there is no console to write to. Call once, from the main thread, at start-up.
  virtual bool AttachConsole() = 0;

  // Gives the console back (Windows: FreeConsole). Main thread only.
  virtual void DetachConsole() = 0;

  // Writes UTF-8 text to standard output / standard error, unbuffered. Safe to call from any thread;
  // each call's text is written whole.
  virtual void WriteStdout(std::string_view text) = 0;
  virtual void WriteStderr(std::string_view text) = 0;

  // True when the program runs under a remote shell login (walks up to ten ancestor processes looking
  // for an ssh daemon). When a PowerShell ancestor is met first, the walk ends and the console's
  // scroll-back is enlarged as a side effect (Windows only). Main thread only, at start-up.
  virtual bool UnderRemoteLogin() = 0;

  // Converts UTF-8 to the system's ANSI code page (identity on Linux). Thread-safe.
  virtual std::string ToAnsi(std::string_view utf8) const = 0;

  // Converts text in the system's ANSI code page to UTF-8 (identity on Linux). Thread-safe.
  virtual std::string FromAnsi(std::string_view ansi) const = 0;

  // ---- Named shared memory and machine-wide locks ----
  // Names are short plain words ("GlobalVar"). The objects belong to the user that runs the process:
  // the instances of one user meet, instances of different users (one started with sudo, one without)
  // never see each other's blocks or locks. A shared block and a lock must not share one name
  // (Windows keeps both in one namespace).
  //  - Linux: names carry the effective user id ("/dev/shm/kestrune.UID.NAME"; lock files
  //    "kestrune.UID.NAME.lock" in $XDG_RUNTIME_DIR when that is a folder of the user without group or
  //    other access, else in /tmp/kestrune-UID, made with mode 0700). Every object is created with
  //    mode 0600 whatever the umask. An existing object, or lock folder, that belongs to another user,
  //    grants group or other access or is a symbolic link is refused, never used.
  //  - Windows: the session's namespace ("Local\NAME") and the creator's default DACL.
  // On nullptr, why holds a sentence for the user that says what was refused or what failed.

  // Creates the shared block name of size bytes, or opens it when another mapping keeps it alive.
  // A newly created block is zero-filled. Returns nullptr when the block cannot be created, mapped
  // or trusted (bad name, size 0, refused as above, no permission, an existing block smaller than
  // size). Thread-safe; each call gives an independent mapping of the same bytes.
  virtual std::unique_ptr<SharedBlock> OpenSharedBlock(std::string_view name, size_t size,
                                                       std::string& why) = 0;

  // Takes the machine-wide lock name, waiting at most timeoutMs milliseconds for another holder (in
  // any process of the user, or another thread of this one) to release it. Returns nullptr when the
  // wait runs out (why is then empty) or the lock cannot be made or is refused (why says so). A
  // holder that dies releases the lock: the next taker gets it. Not re-entrant: a thread must not
  // take a lock it already holds. Thread-safe.
  virtual std::unique_ptr<NamedLock> AcquireNamedLock(std::string_view name, uint32_t timeoutMs,
                                                      std::string& why) = 0;
  // ---- end of named shared memory and machine-wide locks ----
};

// The host of the running platform. Never null; lives for the whole process.
Host& DefaultHost();

// The path separator of the platform the program was built for.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Joins a folder and a name with the platform separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// The folder part of a path ("." when it has none) and its last component; both separators count.
std::string FolderOf(std::string_view path);
std::string FileNameOf(std::string_view path);

}  // namespace kestrune::platform
