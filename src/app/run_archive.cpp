#include "app/run_archive.h"

#include <vector>

#include "base/zip_archive.h"
#include "engine/script_text.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::app {

std::string WriteRunArchive(const std::string& scriptPath, const std::string& logFolder,
                            const std::string& programFolder, std::string& why) {
  const std::string scriptCopy = platform::JoinPath(logFolder, platform::FileNameOf(scriptPath));
  if (scriptCopy != scriptPath) platform::CopyFileOver(scriptPath, scriptCopy);
  std::vector<base::ZipEntry> entries;
  for (const std::string& name : platform::ListFiles(logFolder)) {
    const std::string path = platform::JoinPath(logFolder, name);
    const std::optional<uint64_t> size = platform::FileSizeOf(path);
    if (!size || *size > kArchiveFileLimit) continue;
    std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(path);
    if (bytes) entries.push_back(base::ZipEntry{name, std::move(*bytes)});
  }
  std::vector<uint8_t> archive = base::WriteZip(entries, false);
  engine::ScrambleInPlace(archive);
  std::string folderName = platform::FileNameOf(logFolder);
  if (folderName.empty()) folderName = "log";
  const std::string target = platform::JoinPath(programFolder, folderName + ".datx");
  if (!platform::WriteWholeFile(target, archive)) {
    why = "cannot write the run archive " + target;
    return {};
  }
  return target;
}

}  // namespace kestrune::app
