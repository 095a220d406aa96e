// A Host for tests: fixed time and process id, a private temporary folder, captured output, and a
// virtual clock. Thread-safe like the real hosts: run threads, workers and background writers may
// call it at once while the test thread advances the clock.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host.h"

namespace kestrune::testing {

class FakeHost : public platform::Host {
 public:
  FakeHost();
  ~FakeHost() override;

  std::vector<std::string> args{"kestrune"};
  std::string tempFolder;
  std::string programPath = "/opt/kestrune/kestrune";
  uint32_t pid = 4242;
  platform::LocalTime now{2026, 12, 8, 9, 5, 7, 0};  // set before a run starts; read-only during it
  // The virtual clock in milliseconds. SleepMs advances it instead of waiting, so a Delay of an hour
  // returns at once with the clock an hour later; tests advance it with Advance or by assignment.
  std::atomic<uint64_t> monotonic{0};
  std::vector<uint8_t> package;
  // Captured standard output and error. Read them directly once the threads that write are done,
  // or through Out()/Err() while they may still write.
  std::string out;
  std::string err;
  bool remoteLogin = false;
  uint32_t processors = 2;
  uint64_t randomSeed = 1;  // RandomBytes is a reproducible stream from this seed
  bool failRandom = false;  // RandomBytes fails, as when the system's source is unavailable

  void Advance(uint64_t ms) { monotonic += ms; }

  // A warped clock instead of the virtual one, for engines whose threads all watch the clock (the
  // throughput engine's coordinator and workers): time runs warp times faster than real time, the
  // same for every thread, and SleepMs sleeps warp times shorter. A 30-second silence then costs
  // 30 ms with warp 1000. Call before any thread uses the clock; Advance and monotonic do not apply.
  void WarpClock(uint32_t warp);
  std::string Out() const;
  std::string Err() const;

  std::vector<std::string> Arguments() const override { return args; }
  std::string TempFolder() const override { return tempFolder; }
  std::string ProgramPath() const override { return programPath; }
  std::string ProgramFolder() const override;
  uint32_t ProcessId() const override { return pid; }
  platform::LocalTime Now() const override { return now; }
  uint64_t MonotonicMs() const override { return warp_ ? WarpedUs() / 1000u : monotonic.load(); }
  void SleepMs(uint32_t ms) override;
  // Microsecond ticks of the virtual (or warped) clock.
  uint64_t Ticks() const override { return warp_ ? WarpedUs() : monotonic.load() * 1000u; }
  uint64_t TickFrequency() const override { return 1000000u; }
  uint32_t ProcessorCount() const override { return processors; }
  bool RandomBytes(std::span<uint8_t> bytes) override;
  bool CreateFolders(const std::string& path) override;
  std::span<const uint8_t> EmbeddedPackage() const override { return package; }
  bool AttachConsole() override { return true; }
  void DetachConsole() override {}
  void WriteStdout(std::string_view text) override;
  void WriteStderr(std::string_view text) override;
  bool UnderRemoteLogin() override { return remoteLogin; }
  std::string ToAnsi(std::string_view s) const override { return std::string(s); }
  std::string FromAnsi(std::string_view s) const override { return std::string(s); }

  // ---- Named shared memory and machine-wide locks ----
  // Blocks and locks live in one table for the whole test process, shared by every FakeHost as the
  // system's namespace is shared by every process: a block stays while some mapping of it lives and
  // is zero-filled when created again. Locks are real (in-process) mutexes with a timed wait.
  // systemNamedObjects switches to the system's real blocks and locks (platform/named_objects.h),
  // shared with other processes, for tests across threads and processes.
  bool failSharedBlocks = false;    // OpenSharedBlock gives nullptr, as when mapping fails
  bool failNamedLocks = false;      // AcquireNamedLock gives nullptr, as when the wait runs out
  bool systemNamedObjects = false;  // use the system's named objects instead of the in-process ones
  // When not empty, both give nullptr with this reason, as the system does for an object it refuses
  // (another user's, or open to other users).
  std::string refusal;
  std::unique_ptr<platform::SharedBlock> OpenSharedBlock(std::string_view name, size_t size,
                                                         std::string& why) override;
  std::unique_ptr<platform::NamedLock> AcquireNamedLock(std::string_view name, uint32_t timeoutMs,
                                                        std::string& why) override;
  // Names of the locks taken so far, in order. Thread-safe.
  std::vector<std::string> LockLog() const;

 private:
  mutable std::mutex outputMutex_;
  std::mutex randomMutex_;
  uint64_t randomState_ = 0;
  bool randomStarted_ = false;
  mutable std::mutex lockLogMutex_;
  std::vector<std::string> lockLog_;
  uint32_t warp_ = 0;
  int64_t warpStartNs_ = 0;
  uint64_t WarpedUs() const;

 public:
  // ---- end of named shared memory and machine-wide locks ----
};

// A FakeHost whose shared blocks and locks are the system's own (systemNamedObjects), for tests
// across threads and processes. Lives for the whole test process.
FakeHost& SystemObjectsHost();

// A fresh, empty folder below the system temporary folder, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace kestrune::testing
