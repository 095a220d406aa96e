#include "platform/atomic_file.h"

#include <cstdio>
#include <filesystem>
#include <atomic>

#include "platform/files.h"
#include "platform/host.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kestrune::platform {
namespace {

namespace fs = std::filesystem;

// Creates a temporary file beside path that no other writer (another thread or instance writing
// the same file) holds: names are tried in turn until an exclusive create succeeds, so no two
// writers ever share one, whatever their timing.
std::FILE* CreateTemporaryFor(const std::string& path, std::string& temporary) {
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    temporary = path + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
    if (std::FILE* f = CreateNewFile(temporary)) return f;
    if (!FileExists(temporary)) return nullptr;  // not a clash: the folder refuses
  }
  return nullptr;
}

}  // namespace

bool SyncToDisk(std::FILE* f) {
  if (std::fflush(f) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(f)) == 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

bool RenameDurably(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExW(FsPath(from).c_str(), FsPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  std::error_code ec;
  fs::rename(FsPath(from), FsPath(to), ec);
  if (ec) return false;
  const int dir = ::open(FolderOf(to).empty() ? "." : FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  const bool synced = ::fsync(dir) == 0;
  ::close(dir);
  return synced;
#endif
}

bool PlaceFileDurably(const std::string& from, const std::string& to) {
#ifdef _WIN32
  std::FILE* f = _wfopen(FsPath(from).c_str(), L"r+b");
#else
  std::FILE* f = std::fopen(from.c_str(), "r+b");
#endif
  if (!f) return false;
  const bool synced = SyncToDisk(f);
  if (std::fclose(f) != 0 || !synced) return false;
  return RenameDurably(from, to);
}

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
    fs::file_status old = fs::status(FsPath(path), ec);
    if (!ec && fs::is_regular_file(old)) fs::permissions(FsPath(temporary), old.permissions(), ec);
    ok = sync ? RenameDurably(temporary, path) : (fs::rename(FsPath(temporary), FsPath(path), ec), !ec);
  }
  if (!ok) RemoveFile(temporary);
  return ok;
}

}  // namespace kestrune::platform
