#include "engine/log_upload.h"

#include <filesystem>

#include "base/text.h"
#include "engine/file_params.h"
#include "platform/files.h"

namespace kestrune::engine {

using base::Trim;

std::string ResolveUploadFolder(std::string_view text, const std::string& programFolder,
                                const std::string& scriptFolder, char separator) {
  std::string path(Trim(text));
  for (char& c : path)
    if (c == '/' || c == '\\') c = separator;
  if (path.empty() || IsFullPath(path)) return path;
  std::string folder = path.front() == '.' ? programFolder : scriptFolder;
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += separator;
  return folder + path;
}

bool CopyFolderFiles(const std::string& from, const std::string& to) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(platform::FsPath(to), ec);
  if (!platform::FolderExists(to)) return false;
  if (fs::equivalent(platform::FsPath(from), platform::FsPath(to), ec)) return true;
  bool ok = true;
  for (const std::string& name : platform::ListFiles(from))
    ok = platform::CopyFileOver(platform::JoinPath(from, name), platform::JoinPath(to, name)) && ok;
  return ok;
}

}  // namespace kestrune::engine
