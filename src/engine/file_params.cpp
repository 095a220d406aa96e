#include "engine/file_params.h"

#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::engine {

bool IsFullPath(std::string_view path) {
  if (path.empty()) return false;
  return path.find(':') != std::string_view::npos || path.front() == '/' || path.front() == '\\';
}

std::string OutputFilePath(Interpreter& interp, uint32_t view, std::string_view name) {
  if (IsFullPath(name)) return std::string(name);
  return platform::JoinPath(interp.view(view).logFolder, name);
}

bool ChooseFileIfEmpty(Interpreter& interp, uint32_t view, std::string& file, FileChoice choice) {
  if (!file.empty()) return true;
  choice.cancel = &interp.view(view).cancel;
  std::optional<std::string> chosen = interp.ui().ChooseFile(view, choice);
  if (chosen && !chosen->empty()) {
    file = std::move(*chosen);
    return true;
  }
  interp.RequestCancel(view);
  return false;
}

std::unique_ptr<platform::NamedLock> LockDataFiles(Interpreter& interp) {
  constexpr uint32_t kWaitMs = 10000;
  std::string why;
  return interp.host().AcquireNamedLock("DataFileLock", kWaitMs, why);
}

}  // namespace kestrune::engine
