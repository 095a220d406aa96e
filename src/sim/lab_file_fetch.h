// The lab's file server: files of a folder served as if by FTP, with the failures of a real one
// injected on demand (no server, a refused connection, a refused login, a missing file, a stall, a
// cancel at a given byte, a transfer cut short). The remote path "/a/b.zip" is the file "a/b.zip"
// below the folder. Nothing waits real time: a stall fails at once, as the stall time-out would.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/file_fetch.h"

namespace kestrune::sim {

enum class LabFetchFault { kNone, kNoServer, kRefused, kBadLogin, kMissing, kStalled, kShort };

struct LabFetchRules {
  LabFetchFault fault = LabFetchFault::kNone;
  // kStalled and kShort: the bytes delivered before the stall or the end (default: half the file).
  std::optional<uint64_t> failAt;
  // The account the server takes; an empty user takes any.
  std::string user;
  std::string password;
  // When a transfer reaches this byte, *cancel (a test's view cancel flag) is set before the next
  // piece: the fetch sees it at its next cancel check.
  std::optional<uint64_t> cancelAt;
  std::atomic<bool>* cancel = nullptr;
};

class LabFileFetch final : public platform::FileFetch {
 public:
  explicit LabFileFetch(std::string folder) : folder_(std::move(folder)) {}

  // The rules of later fetches. Thread-safe.
  void SetRules(LabFetchRules rules);
  // How many fetches were asked for so far. Thread-safe.
  uint32_t fetches() const;

  // The lab's transfer: the file copied in 64 KiB pieces with progress and cancel between them.
  // Thread-safe.
  platform::FetchResult Fetch(const platform::FetchRequest& request) override;

 private:
  const std::string folder_;
  mutable std::mutex mutex_;  // guards rules_, fetches_
  LabFetchRules rules_;
  uint32_t fetches_ = 0;
};

}  // namespace kestrune::sim
