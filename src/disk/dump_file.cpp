#include "disk/dump_file.h"

#include "platform/files.h"

namespace kestrune::disk {

bool WriteDumpFile(platform::Host& host, const std::string& path, std::span<const uint8_t> bytes) {
  const std::string folder = platform::Utf8Path(platform::FsPath(path).parent_path());
  if (!folder.empty() && !platform::FolderExists(folder) && !host.CreateFolders(folder)) return false;
  return platform::WriteWholeFile(path, bytes);
}

}  // namespace kestrune::disk
