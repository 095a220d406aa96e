// The operating-system seam for the LAN file server: one file fetched by FTP (passive, binary) into
// a local file, with a connect time-out, a stall time-out, progress and cancel.
//
// One implementation is compiled per target and returned by MakeSystemFileFetch(): libcurl on Linux
// (platform/linux), WinINet on Windows (platform/win32). The simulated lab has its own over a folder
// with injected failures (sim/lab_file_fetch.h); start-up gives the lab's to a /sim run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestrune::platform {

inline constexpr uint32_t kDefaultFtpPort = 21;

// The file server of the station file. The password is a secret: nothing prints or logs it.
struct FileServerAccount {
  std::string server;  // host name or address; empty: no server configured
  uint32_t port = kDefaultFtpPort;
  std::string user;
  std::string password;
};

struct FetchRequest {
  FileServerAccount account;
  std::string remotePath;           // absolute path on the server, "/" separated
  std::string localPath;            // created or truncated
  uint32_t connectTimeoutSec = 30;  // to reach the server and log in
  uint32_t stallTimeoutSec = 60;    // longest time without a byte received (or a server reply)
  // Called from the fetching thread now and then with the bytes received so far and the file's
  // size when the server told it. Optional.
  std::function<void(uint64_t bytes, std::optional<uint64_t> total)> progress;
  // Polled from the fetching thread while data arrives and, with libcurl, at least once a second
  // (WinINet looks between pieces, so a fetch waiting for data sees it within stallTimeoutSec);
  // true ends the fetch. Optional.
  std::function<bool()> cancelled;
};

enum class FetchStatus {
  kOk,
  kNoServer,   // the server's name does not resolve or nothing answers in connectTimeoutSec
  kRefused,    // the server refused the connection
  kBadLogin,   // the server refused the user or password
  kMissing,    // the server has no such file (or refuses it)
  kStalled,    // nothing arrived for stallTimeoutSec
  kCancelled,  // cancelled() said so
  kShort,      // the transfer ended before the size the server gave
  kLocalFile,  // the local file could not be created or written
  kFailed,     // any other failure
};

struct FetchResult {
  FetchStatus status = FetchStatus::kFailed;
  std::string reason;             // one line, never holding the password; empty when ok
  uint64_t bytes = 0;             // bytes written to localPath
  std::optional<uint64_t> total;  // the file's size when the server told it
  bool ok() const { return status == FetchStatus::kOk; }
};

class FileFetch {
 public:
  virtual ~FileFetch() = default;

  // Fetches request.remotePath from the server into request.localPath and blocks until the file is
  // whole or the fetch failed, was cancelled or timed out (never longer than the time-outs allow
  // once nothing arrives). kOk only when every byte arrived (and, when the server gave a size, as
  // many as it gave). On failure localPath may hold part of the file or nothing: the caller removes
  // it. Thread-safe: fetches on different threads are independent.
  virtual FetchResult Fetch(const FetchRequest& request) = 0;
};

// The system's FTP client. Never null.
std::unique_ptr<FileFetch> MakeSystemFileFetch();

// The reason's text for a status without further detail ("the server refused the login", ...).
std::string FetchStatusText(FetchStatus status);

}  // namespace kestrune::platform
