#include "workloads/test_file.h"

#include <fstream>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "workloads/byte_range.h"

namespace kestrune::workloads {

std::string VolumeRoot(std::string_view volumeName) {
  std::string_view name = base::Trim(volumeName);
#ifdef _WIN32
  if (name.size() == 2 && name[1] == ':') return std::string(name) + "\\";
#else
  if (name.starts_with('/')) return std::string(name);
#endif
  return {};
}

std::string TestFilePath(std::string_view root, uint32_t id) {
  return platform::JoinPath(root, base::Format("~KestruneTestFile%08u", id));
}

bool PrepareTestFile(const std::string& path, uint64_t sizeMiB, const std::atomic<bool>& cancel,
                     const std::function<void(std::string_view)>& status) {
  bool ok = true;
  {
    std::ofstream out(platform::FsPath(path), std::ios::binary | std::ios::trunc);
    ok = static_cast<bool>(out);
    const std::vector<char> zeros(kMiB, 0);
    int64_t shown = -1;
    for (uint64_t block = 0; ok && block < sizeMiB; ++block) {
      if (cancel.load()) {
        ok = false;
        break;
      }
      ok = static_cast<bool>(out.write(zeros.data(), static_cast<std::streamsize>(zeros.size())));
      const auto percent = static_cast<int64_t>((block + 1) * 100 / sizeMiB);
      if (percent != shown) {
        shown = percent;
        status(base::Format("Parpare Test File:%lld%%", static_cast<long long>(percent)));
      }
    }
    if (ok) ok = static_cast<bool>(out.flush());
  }
  status("");
  if (!ok) platform::RemoveFile(path);
  return ok;
}

}  // namespace kestrune::workloads
