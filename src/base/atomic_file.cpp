#include "base/atomic_file.h"

#include <cstdio>
#include <filesystem>
#include <atomic>

#include "base/text.h"
#include "platform/files.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kestrune::base {
namespace {

namespace fs = std::filesystem;

bool SyncToDisk(std::FILE* f) {
#ifdef _WIN32
  return _commit(_fileno(f)) == 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

// Creates a temporary file beside path that no other writer (another thread or instance writing
// the same file) holds: names are tried in turn until an exclusive create succeeds, so no two
// writers ever share one, whatever their timing.
std::FILE* CreateTemporaryFor(const std::string& path, std::string& temporary) {
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    temporary = path + Format(".%u.tmp", counter.fetch_add(1));
    if (std::FILE* f = platform::CreateNewFile(temporary)) return f;
    if (!platform::FileExists(temporary)) return nullptr;  // not a clash: the folder refuses
  }
  return nullptr;
}

}  // namespace

bool SaveFileAtomically(const std::string& path, std::string_view bytes, bool sync) {
  std::string temporary;
  std::FILE* f = CreateTemporaryFor(path, temporary);
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fflush(f) == 0 && ok;
  if (ok && sync) ok = SyncToDisk(f);
  ok = std::fclose(f) == 0 && ok;

  std::error_code ec;
  if (ok) {
    fs::file_status old = fs::status(platform::FsPath(path), ec);
    if (!ec && fs::is_regular_file(old)) fs::permissions(platform::FsPath(temporary), old.permissions(), ec);
    fs::rename(platform::FsPath(temporary), platform::FsPath(path), ec);
    ok = !ec;
  }
  if (!ok) platform::RemoveFile(temporary);
  return ok;
}

}  // namespace kestrune::base
