#include "sim/lab_file_fetch.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::sim {
namespace {

constexpr size_t kPiece = 64 * 1024;

platform::FetchResult Failed(platform::FetchStatus status, uint64_t bytes = 0) {
  platform::FetchResult r;
  r.status = status;
  r.reason = platform::FetchStatusText(status) + " (lab)";
  r.bytes = bytes;
  return r;
}

// The remote path as a relative path below the folder, or "" when it would leave it.
std::string RelativePath(const std::string& remote) {
  std::string rel = remote;
  while (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
  if (rel.empty()) return {};
  size_t start = 0;
  while (start <= rel.size()) {
    size_t end = rel.find('/', start);
    if (end == std::string::npos) end = rel.size();
    if (rel.compare(start, end - start, "..") == 0) return {};
    start = end + 1;
  }
  return rel;
}

}  // namespace

void LabFileFetch::SetRules(LabFetchRules rules) {
  std::lock_guard<std::mutex> hold(mutex_);
  rules_ = std::move(rules);
}

uint32_t LabFileFetch::fetches() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return fetches_;
}

platform::FetchResult LabFileFetch::Fetch(const platform::FetchRequest& request) {
  using platform::FetchStatus;
  LabFetchRules rules;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    rules = rules_;
    ++fetches_;
  }
  if (request.account.server.empty() || rules.fault == LabFetchFault::kNoServer)
    return Failed(FetchStatus::kNoServer);
  if (rules.fault == LabFetchFault::kRefused) return Failed(FetchStatus::kRefused);
  const bool accountRefused = !rules.user.empty() && (request.account.user != rules.user ||
                                                      request.account.password != rules.password);
  if (rules.fault == LabFetchFault::kBadLogin || accountRefused) return Failed(FetchStatus::kBadLogin);
  const std::string rel = RelativePath(request.remotePath);
  const std::string source = rel.empty() ? std::string() : platform::JoinPath(folder_, rel);
  std::optional<uint64_t> size = source.empty() ? std::nullopt : platform::FileSizeOf(source);
  if (rules.fault == LabFetchFault::kMissing || !size) return Failed(FetchStatus::kMissing);

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(platform::OpenReadFile(source), std::fclose);
  if (!in) return Failed(FetchStatus::kMissing);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(platform::OpenWriteFile(request.localPath),
                                                      std::fclose);
  if (!out) return Failed(FetchStatus::kLocalFile);
  // Where the transfer ends early: the stall, or the cut of a short transfer (which the lab's
  // server, like a careless real one, reports as done: the caller must notice the size).
  std::optional<uint64_t> endAt;
  if (rules.fault == LabFetchFault::kStalled || rules.fault == LabFetchFault::kShort)
    endAt = std::min(*size, rules.failAt.value_or(*size / 2));

  platform::FetchResult result;
  result.total = size;
  std::vector<uint8_t> piece(kPiece);
  for (;;) {
    if (request.cancelled && request.cancelled()) {
      platform::FetchResult r = Failed(FetchStatus::kCancelled, result.bytes);
      r.total = size;
      return r;
    }
    if (rules.cancelAt && rules.cancel && result.bytes >= *rules.cancelAt) rules.cancel->store(true);
    uint64_t want = kPiece;
    if (endAt) want = std::min<uint64_t>(want, *endAt - result.bytes);
    if (want == 0) break;
    const size_t got = std::fread(piece.data(), 1, static_cast<size_t>(want), in.get());
    if (got == 0) break;
    if (std::fwrite(piece.data(), 1, got, out.get()) != got)
      return Failed(FetchStatus::kLocalFile, result.bytes);
    result.bytes += got;
    if (request.progress) request.progress(result.bytes, size);
  }
  if (std::fclose(out.release()) != 0) return Failed(FetchStatus::kLocalFile, result.bytes);
  if (rules.fault == LabFetchFault::kStalled) {
    platform::FetchResult r = Failed(FetchStatus::kStalled, result.bytes);
    r.total = size;
    return r;
  }
  result.status = FetchStatus::kOk;
  return result;
}

}  // namespace kestrune::sim
