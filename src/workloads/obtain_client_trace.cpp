#include "workloads/obtain_client_trace.h"

#include "base/completion_codes.h"
#include "engine/interpreter.h"

namespace kestrune::workloads {

int32_t ObtainClientTrace(engine::Interpreter& interp, uint32_t view, const std::string& fileName,
                          std::string& path) {
  path.clear();
  interp.ReportCompletion(view, base::code::kFileOpenFailed, fileName);
  return base::code::kFileOpenFailed;
}

}  // namespace kestrune::workloads
