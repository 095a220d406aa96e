// A Host for tests: fixed time and process id, a private temporary folder, captured output.
#pragma once

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
  platform::LocalTime now{2026, 12, 8, 9, 5, 7, 0};
  uint64_t monotonic = 0;
  std::vector<uint8_t> package;
  std::string out;
  std::string err;
  bool remoteLogin = false;

  std::vector<std::string> Arguments() const override { return args; }
  std::string TempFolder() const override { return tempFolder; }
  std::string ProgramPath() const override { return programPath; }
  std::string ProgramFolder() const override;
  uint32_t ProcessId() const override { return pid; }
  platform::LocalTime Now() const override { return now; }
  uint64_t MonotonicMs() const override { return monotonic; }
  void SleepMs(uint32_t ms) override { monotonic += ms; }
  bool CreateFolders(const std::string& path) override;
  std::span<const uint8_t> EmbeddedPackage() const override { return package; }
  bool AttachConsole() override { return true; }
  void DetachConsole() override {}
  void WriteStdout(std::string_view text) override { out += text; }
  void WriteStderr(std::string_view text) override { err += text; }
  bool UnderRemoteLogin() override { return remoteLogin; }
  std::string ToAnsi(std::string_view s) const override { return std::string(s); }
  std::string FromAnsi(std::string_view s) const override { return std::string(s); }
};

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
