// The program's download from the LAN file server: a file fetched by FTP into a folder under a
// temporary name and given its own name only when whole, its progress on one rewritten line. The
// server and the fetcher (the system's FTP client, or the lab's for /sim) are set by start-up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_fetch.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

struct FileServerState {
  platform::FileServerAccount account;         // the station file's [FILESERVER]
  std::string stationPath;                     // that file, for messages
  std::shared_ptr<platform::FileFetch> fetch;  // never null once start-up set it
  uint32_t connectTimeoutSec = 30;
  uint32_t stallTimeoutSec = 60;
};

// Start-up, before any run: the server and the fetcher to reach it with.
void UseFileServer(engine::Interpreter& interp, platform::FileServerAccount account, std::string stationPath,
                   std::shared_ptr<platform::FileFetch> fetch);
// The interpreter's file server (made on first use; set before any run, read-only after).
FileServerState& FileServerOf(engine::Interpreter& interp);

struct DownloadRequest {
  std::string caption;     // what is fetched, for the progress line ("Client Master trace file")
  std::string remotePath;  // on the server: "/JEDEC_Client/Client_128_GB_Master_Trace.zip"
  std::string folder;      // where the file goes (must exist)
  std::string fileName;    // its name there
};

// The name a download or an extraction is written under until it is whole: name + ".part".
std::string PartialName(const std::string& path);

// Fetches the file into folder/fileName on the run thread of view, showing "Download <caption>: ..."
// on one rewritten line and stopping on the view's cancel flag. Returns 0 when the whole file is
// there. Every failure (no server configured, no answer, refused, bad login, missing file, stall,
// cancel, a transfer shorter than the server's size, the local file) returns
// base::code::kFileOpenFailed (-11) with a one-line reason that never holds the password, and leaves
// neither the temporary file nor folder/fileName behind. Prints no failure itself: the caller
// reports it. Run thread only.
int DownloadFromFileServer(engine::Interpreter& interp, uint32_t view, const DownloadRequest& request,
                           std::string& reason);

// reason with every occurrence of secret replaced by "****" (nothing when secret is empty).
std::string WithoutSecret(std::string reason, const std::string& secret);

}  // namespace kestrune::workloads
