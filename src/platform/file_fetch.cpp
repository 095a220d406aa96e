#include "platform/file_fetch.h"

namespace kestrune::platform {

std::string FetchStatusText(FetchStatus status) {
  switch (status) {
    case FetchStatus::kOk:
      return "";
    case FetchStatus::kNoServer:
      return "the file server does not answer";
    case FetchStatus::kRefused:
      return "the file server refused the connection";
    case FetchStatus::kBadLogin:
      return "the file server refused the login";
    case FetchStatus::kMissing:
      return "the file server has no such file";
    case FetchStatus::kStalled:
      return "the transfer stalled";
    case FetchStatus::kCancelled:
      return "the transfer was cancelled";
    case FetchStatus::kShort:
      return "the transfer ended early";
    case FetchStatus::kLocalFile:
      return "the local file cannot be written";
    case FetchStatus::kFailed:
      break;
  }
  return "the transfer failed";
}

}  // namespace kestrune::platform
