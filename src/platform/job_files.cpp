// The portable part of the system's JobFiles: what std::filesystem answers alike on both systems.
#include "platform/job_files.h"

#include <system_error>

#include "platform/files.h"

namespace kestrune::platform {
namespace {

namespace fs = std::filesystem;

class SystemFiles final : public JobFiles {
 public:
  std::unique_ptr<JobFile> Open(const std::string& path, FileAccess access, std::string& why) override {
    return OpenSystemJobFile(path, access, why);
  }
  FileStat Stat(const std::string& path) override {
    std::error_code ec;
    const fs::file_status st = fs::status(FsPath(path), ec);
    FileStat out;
    if (ec || !fs::exists(st)) return out;
    out.exists = true;
    out.folder = fs::is_directory(st);
    if (fs::is_regular_file(st)) out.size = fs::file_size(FsPath(path), ec);
    return out;
  }
  std::vector<std::string> ListFiles(const std::string& folder) override {
    return platform::ListFiles(folder);
  }
  bool Remove(const std::string& path) override {
    std::error_code ec;
    fs::remove(FsPath(path), ec);
    return !fs::exists(FsPath(path), ec);
  }
};

}  // namespace

std::shared_ptr<JobFiles> SystemJobFiles() {
  static const std::shared_ptr<JobFiles> files = std::make_shared<SystemFiles>();
  return files;
}

}  // namespace kestrune::platform
