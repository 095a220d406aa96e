// The client master trace fetched by the program's own download routine with the system's FTP
// client (libcurl on Linux, WinINet under Wine), for tests/lab/check_trace_fetch.sh.
//
// Usage: trace_fetch_probe STATION_INI WORK_FOLDER [STALL_SEC]
// Prints the view's lines, then "code=N" and, on failure, "reason=TEXT"; exit code 0 when fetched,
// 1 when not, 2 for a wrong call.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/station_file.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "platform/file_fetch.h"
#include "platform/host.h"
#include "workloads/client_trace_fetch.h"
#include "workloads/file_server_download.h"

namespace {

class PrintingConsole final : public kestrune::engine::ConsoleSink {
 public:
  void PrintLine(std::string_view text) override {
    std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
  }
};

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrune;
  if (argc < 3) {
    std::fprintf(stderr, "usage: trace_fetch_probe STATION_INI WORK_FOLDER [STALL_SEC]\n");
    return 2;
  }
  const devcmd::StationConfig station = app::ReadStationFile(argv[1]);
  const std::string work = argv[2];
  engine::RunSettings settings;
  settings.workFolder = work;
  PrintingConsole console;
  engine::Interpreter interp(platform::DefaultHost(), settings, &console);
  workloads::UseFileServer(interp, station.fileServer, station.path, platform::MakeSystemFileFetch());
  workloads::FileServerState& server = workloads::FileServerOf(interp);
  server.connectTimeoutSec = 5;
  if (argc > 3) server.stallTimeoutSec = static_cast<uint32_t>(std::atoi(argv[3]));
  std::string trace, reason;
  const int code = workloads::FetchClientTrace(interp, 0, work, trace, reason);
  std::printf("code=%d\n", code);
  if (code != 0)
    std::printf("reason=%s\n", reason.c_str());
  else
    std::printf("trace=%s\n", trace.c_str());
  return code == 0 ? 0 : 1;
}
