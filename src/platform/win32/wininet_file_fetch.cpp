// The file server through WinINet: passive FTP, binary, the connect and receive time-outs set on
// the session. Cancel is looked at between pieces: a read that waits for data ends within the
// receive time-out.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/file_fetch.h"
#include "platform/files.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

constexpr DWORD kPiece = 64 * 1024;

// The server's last reply ("530 Login incorrect."), when WinINet kept one.
std::string LastResponse() {
  DWORD code = 0;
  DWORD length = 0;
  InternetGetLastResponseInfoW(&code, nullptr, &length);
  if (length == 0) return {};
  std::wstring text(length + 1, L'\0');
  if (!InternetGetLastResponseInfoW(&code, text.data(), &length)) return {};
  text.resize(length);
  std::string out = Narrow(text);
  // One line: the reply's first.
  if (size_t end = out.find_first_of("\r\n"); end != std::string::npos) out.resize(end);
  return out;
}

FetchStatus StatusOfError(DWORD error, const std::string& reply, FetchStatus otherwise) {
  switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return FetchStatus::kNoServer;
    case ERROR_INTERNET_CANNOT_CONNECT:
      return FetchStatus::kRefused;
    case ERROR_INTERNET_LOGIN_FAILURE:
      return FetchStatus::kBadLogin;
    case ERROR_INTERNET_EXTENDED_ERROR:
      if (reply.rfind("530", 0) == 0) return FetchStatus::kBadLogin;
      if (reply.rfind("550", 0) == 0) return FetchStatus::kMissing;
      return otherwise;
    default:
      return otherwise;
  }
}

struct HandleCloser {
  void operator()(HINTERNET h) const {
    if (h) InternetCloseHandle(h);
  }
};
using InternetHandle = std::unique_ptr<void, HandleCloser>;

class WinInetFileFetch final : public FileFetch {
 public:
  FetchResult Fetch(const FetchRequest& request) override {
    FetchResult result;
    auto fail = [&](FetchStatus status, std::string detail) {
      result.status = status;
      result.reason = FetchStatusText(status);
      if (!detail.empty()) result.reason += " (" + detail + ")";
      return result;
    };
    InternetHandle session(InternetOpenW(L"Kestrune", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) return fail(FetchStatus::kFailed, "cannot start WinINet");
    const DWORD connectMs = request.connectTimeoutSec * 1000;
    const DWORD receiveMs = request.stallTimeoutSec * 1000;
    InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, const_cast<DWORD*>(&connectMs),
                       sizeof connectMs);
    for (DWORD option : {INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
      InternetSetOptionW(session.get(), option, const_cast<DWORD*>(&receiveMs), sizeof receiveMs);
    return Transfer(session.get(), request, result, fail);
  }

 private:
  template <class Fail>
  FetchResult Transfer(HINTERNET session, const FetchRequest& request, FetchResult& result, Fail& fail) {
    InternetHandle connect(InternetConnectW(
        session, Widen(request.account.server).c_str(), static_cast<INTERNET_PORT>(request.account.port),
        Widen(request.account.user).c_str(), Widen(request.account.password).c_str(), INTERNET_SERVICE_FTP,
        INTERNET_FLAG_PASSIVE, 0));
    if (!connect) {
      const DWORD error = GetLastError();
      const std::string reply = LastResponse();
      FetchStatus status = StatusOfError(error, reply, FetchStatus::kFailed);
      if (error == ERROR_INTERNET_TIMEOUT) status = FetchStatus::kNoServer;
      return fail(status, reply.empty() ? "error " + std::to_string(error) : reply);
    }
    InternetHandle file(FtpOpenFileW(connect.get(), Widen(request.remotePath).c_str(), GENERIC_READ,
                                     FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0));
    if (!file) {
      const DWORD error = GetLastError();
      const std::string reply = LastResponse();
      return fail(StatusOfError(error, reply, FetchStatus::kMissing),
                  reply.empty() ? "error " + std::to_string(error) : reply);
    }
    DWORD high = 0;
    const DWORD low = FtpGetFileSize(file.get(), &high);
    if (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR)
      if (low != 0 || high != 0) result.total = (static_cast<uint64_t>(high) << 32) | low;

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(OpenWriteFile(request.localPath), std::fclose);
    if (!out) return fail(FetchStatus::kLocalFile, request.localPath);
    std::vector<char> piece(kPiece);
    for (;;) {
      if (request.cancelled && request.cancelled()) return fail(FetchStatus::kCancelled, "");
      DWORD got = 0;
      if (!InternetReadFile(file.get(), piece.data(), kPiece, &got)) {
        const DWORD error = GetLastError();
        return fail(error == ERROR_INTERNET_TIMEOUT ? FetchStatus::kStalled : FetchStatus::kFailed,
                    "error " + std::to_string(error));
      }
      if (got == 0) break;
      if (std::fwrite(piece.data(), 1, got, out.get()) != got)
        return fail(FetchStatus::kLocalFile, request.localPath);
      result.bytes += got;
      if (request.progress) request.progress(result.bytes, result.total);
    }
    if (std::fclose(out.release()) != 0) return fail(FetchStatus::kLocalFile, request.localPath);
    if (result.total && *result.total != result.bytes) return fail(FetchStatus::kShort, "");
    result.status = FetchStatus::kOk;
    return result;
  }
};

}  // namespace

std::unique_ptr<FileFetch> MakeSystemFileFetch() { return std::make_unique<WinInetFileFetch>(); }

}  // namespace kestrune::platform
