#include "workloads/file_server_download.h"

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/host.h"
#include "workloads/progress_line.h"

namespace kestrune::workloads {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

unsigned long long U(uint64_t v) { return v; }

std::string ProgressText(const std::string& caption, uint64_t bytes, std::optional<uint64_t> total) {
  if (!total || *total == 0) return base::Format("Download %s: %llu MB", caption.c_str(), U(bytes / kMiB));
  const uint64_t percent = std::min<uint64_t>(100, bytes * 100 / *total);
  return base::Format("Download %s: %llu / %llu MB (%llu%%)", caption.c_str(), U(bytes / kMiB),
                      U(*total / kMiB), U(percent));
}

}  // namespace

void UseFileServer(engine::Interpreter& interp, platform::FileServerAccount account, std::string stationPath,
                   std::shared_ptr<platform::FileFetch> fetch) {
  FileServerState& state = FileServerOf(interp);
  state.account = std::move(account);
  state.stationPath = std::move(stationPath);
  state.fetch = std::move(fetch);
}

FileServerState& FileServerOf(engine::Interpreter& interp) { return interp.State<FileServerState>(); }

std::string PartialName(const std::string& path) { return path + ".part"; }

std::string WithoutSecret(std::string reason, const std::string& secret) {
  if (secret.empty()) return reason;
  for (size_t at = reason.find(secret); at != std::string::npos; at = reason.find(secret, at + 4))
    reason.replace(at, secret.size(), "****");
  return reason;
}

int DownloadFromFileServer(engine::Interpreter& interp, uint32_t view, const DownloadRequest& request,
                           std::string& reason) {
  const FileServerState& server = FileServerOf(interp);
  const std::string target = platform::JoinPath(request.folder, request.fileName);
  const std::string partial = PartialName(target);
  auto fail = [&](std::string why) {
    platform::RemoveFile(partial);
    reason = WithoutSecret("cannot fetch " + request.caption + ": " + why, server.account.password);
    return base::code::kFileOpenFailed;
  };
  if (server.account.server.empty())
    return fail("no file server configured ([FILESERVER] Server= in " + server.stationPath + ")");
  if (!server.fetch) return fail("no FTP client in this build");

  ProgressLine line(interp, view, engine::colour::kGrey);
  std::string shown = ProgressText(request.caption, 0, std::nullopt);
  line.Show(shown);
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  platform::FetchRequest fetch;
  fetch.account = server.account;
  fetch.remotePath = request.remotePath;
  fetch.localPath = partial;
  fetch.connectTimeoutSec = server.connectTimeoutSec;
  fetch.stallTimeoutSec = server.stallTimeoutSec;
  fetch.progress = [&](uint64_t bytes, std::optional<uint64_t> total) {
    std::string text = ProgressText(request.caption, bytes, total);
    if (text == shown) return;  // rewritten only when it changes
    shown = std::move(text);
    line.Show(shown);
  };
  fetch.cancelled = [&cancel] { return cancel.load(); };

  platform::RemoveFile(partial);  // a piece a crashed run left
  const platform::FetchResult got = server.fetch->Fetch(fetch);
  if (!got.ok()) return fail(got.reason.empty() ? platform::FetchStatusText(got.status) : got.reason);
  if (cancel.load()) return fail(platform::FetchStatusText(platform::FetchStatus::kCancelled));
  // Whole means every byte the server announced, and on the disk as many as the fetch counted.
  const std::optional<uint64_t> onDisk = platform::FileSizeOf(partial);
  if (got.total && got.bytes != *got.total)
    return fail(base::Format("the transfer ended early (%llu of %llu bytes)", U(got.bytes), U(*got.total)));
  if (!onDisk || *onDisk != got.bytes)
    return fail("the downloaded file is not whole on the disk (" + partial + ")");
  if (!platform::PlaceFileDurably(partial, target)) return fail("cannot rename " + partial + " to " + target);
  line.Show(ProgressText(request.caption, got.bytes, got.bytes) + " done");
  return 0;
}

}  // namespace kestrune::workloads
