#include "workloads/obtain_client_trace.h"

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/interpreter.h"
#include "platform/host.h"
#include "workloads/client_trace_fetch.h"

namespace kestrune::workloads {

int32_t ObtainClientTrace(engine::Interpreter& interp, uint32_t view, const std::string& fileName,
                          std::string& path) {
  path.clear();
  // Only the master trace is on the file server; a trace of the script's own that is missing is
  // just missing.
  if (!base::EqualsNoCase(platform::FileNameOf(fileName), kClientTraceFileName)) {
    interp.ReportCompletion(view, base::code::kFileOpenFailed, fileName);
    return base::code::kFileOpenFailed;
  }
  std::string reason;
  const int rc = FetchClientTrace(interp, view, interp.settings().workFolder, path, reason);
  if (rc == 0) return 1;
  path.clear();
  interp.ReportCompletion(view, rc, reason);
  return rc;
}

}  // namespace kestrune::workloads
