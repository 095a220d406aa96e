#include "engine/output_base.h"

#include <mutex>

#include "base/text.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/host.h"

namespace kestrune::engine {

using base::Format;

std::string OutputBaseName(Interpreter& interp, uint32_t view) {
  if (!interp.settings().subBase.empty()) return interp.settings().subBase;
  View& v = interp.view(view);
  uint64_t counter = 0;
  {
    std::lock_guard<std::mutex> guard(v.output.lock);
    counter = v.output.lineCounter;
  }
  return platform::JoinPath(v.logFolder, Format("R%010llu", static_cast<unsigned long long>(counter)));
}

}  // namespace kestrune::engine
