#include "app/work_folder.h"

#include "base/text.h"

namespace kestrune::app {

std::string CleanBaseName(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  std::string out(name);
  for (char& c : out) {
    bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) c = '_';
  }
  return out;
}

std::string WorkFolderName(std::string_view cleanBase, const platform::LocalTime& t, uint32_t pid) {
  return base::Format("%.*s_%02d%02d%02d_%u", static_cast<int>(cleanBase.size()), cleanBase.data(), t.hour,
                        t.minute, t.second, pid);
}

std::string PrepareWorkFolder(platform::Host& host) {
  std::string root = platform::JoinPath(host.TempFolder(), "KestruneLite");
  if (!host.CreateFolders(root)) return {};
  std::string folder =
      platform::JoinPath(root, WorkFolderName(CleanBaseName(host.ProgramPath()), host.Now(), host.ProcessId()));
  return host.CreateFolders(folder) ? folder : std::string{};
}

}  // namespace kestrune::app
