// The file server through libcurl: passive FTP, binary, with the time-outs as curl's connect
// time-out and low-speed limit (1 byte a second for the stall time), and progress and cancel
// through its transfer-information callback.
#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/file_fetch.h"
#include "platform/files.h"

namespace kestrune::platform {
namespace {

struct Transfer {
  const FetchRequest* request = nullptr;
  std::FILE* out = nullptr;
  uint64_t written = 0;
  bool writeFailed = false;
};

size_t WriteBytes(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (std::fwrite(data, 1, n, t->out) != n) {
    t->writeFailed = true;
    return 0;  // curl ends with CURLE_WRITE_ERROR
  }
  t->written += n;
  return n;
}

int TransferInfo(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(user);
  if (t->request->cancelled && t->request->cancelled()) return 1;  // CURLE_ABORTED_BY_CALLBACK
  if (t->request->progress) {
    std::optional<uint64_t> size;
    if (total > 0) size = static_cast<uint64_t>(total);
    t->request->progress(static_cast<uint64_t>(now), size);
  }
  return 0;
}

// The URL of the file, each path segment escaped (the account goes to curl apart, never into it).
std::string FileUrl(CURL* curl, const FetchRequest& r) {
  std::string host = r.account.server;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";  // IPv6
  std::string url = "ftp://" + host + ":" + std::to_string(r.account.port);
  std::string path = r.remotePath;
  if (path.empty() || path.front() != '/') path = "/" + path;
  size_t start = 1;
  url += "/";
  // A leading "/" of the path names the root: "%2F" makes curl start there, not in the login folder.
  url += "%2F";
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(start, end - start);
    char* escaped = curl_easy_escape(curl, segment.c_str(), static_cast<int>(segment.size()));
    url += escaped ? escaped : "";
    curl_free(escaped);
    if (end < path.size()) url += "/";
    start = end + 1;
  }
  return url;
}

FetchStatus StatusOf(CURLcode rc, CURL* curl) {
  switch (rc) {
    case CURLE_OK:
      return FetchStatus::kOk;
    case CURLE_COULDNT_RESOLVE_HOST:
      return FetchStatus::kNoServer;
    case CURLE_COULDNT_CONNECT:
      return FetchStatus::kRefused;
    case CURLE_LOGIN_DENIED:
      return FetchStatus::kBadLogin;
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_FTP_COULDNT_RETR_FILE:
      return FetchStatus::kMissing;
    case CURLE_ABORTED_BY_CALLBACK:
      return FetchStatus::kCancelled;
    case CURLE_PARTIAL_FILE:
      return FetchStatus::kShort;
    case CURLE_WRITE_ERROR:
      return FetchStatus::kLocalFile;
    case CURLE_OPERATION_TIMEDOUT: {
      // Before the connection stood: nobody answers; after it: the transfer stalled.
      curl_off_t connected = 0;
      curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
      return connected > 0 ? FetchStatus::kStalled : FetchStatus::kNoServer;
    }
    default:
      return FetchStatus::kFailed;
  }
}

class CurlFileFetch final : public FileFetch {
 public:
  FetchResult Fetch(const FetchRequest& request) override {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    FetchResult result;
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
      result.reason = "cannot start the FTP client";
      return result;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(OpenWriteFile(request.localPath), std::fclose);
    if (!out) {
      result.status = FetchStatus::kLocalFile;
      result.reason = "cannot create " + request.localPath;
      return result;
    }
    Transfer t{&request, out.get()};
    char detail[CURL_ERROR_SIZE] = {};
    CURL* c = curl.get();
    const std::string url = FileUrl(c, request);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(c, CURLOPT_USERNAME, request.account.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, request.account.password.c_str());
    curl_easy_setopt(c, CURLOPT_FTP_USE_EPSV, 1L);  // passive: EPSV, then PASV
    curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);  // binary
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(request.connectTimeoutSec));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(request.stallTimeoutSec));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.stallTimeoutSec));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBytes);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, TransferInfo);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);

    const CURLcode rc = curl_easy_perform(c);
    const bool closed = std::fclose(out.release()) == 0;
    result.bytes = t.written;
    curl_off_t length = -1;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
      result.total = static_cast<uint64_t>(length);
    result.status = StatusOf(rc, c);
    if (result.ok() && !closed) result.status = FetchStatus::kLocalFile;
    if (result.ok() && result.total && *result.total != result.bytes) result.status = FetchStatus::kShort;
    if (!result.ok()) {
      result.reason = FetchStatusText(result.status);
      if (t.writeFailed || !closed)
        result.reason += " (" + request.localPath + ")";
      else if (detail[0])
        result.reason += " (" + std::string(detail) + ")";
      else if (rc != CURLE_OK)
        result.reason += " (" + std::string(curl_easy_strerror(rc)) + ")";
    }
    return result;
  }
};

}  // namespace

std::unique_ptr<FileFetch> MakeSystemFileFetch() { return std::make_unique<CurlFileFetch>(); }

}  // namespace kestrune::platform
