#include "engine/atomic_file.h"

#include <cstdio>
#include <filesystem>
#include <random>

#include "engine/text.h"
#include "platform/files.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kestrune::engine {
namespace {

namespace fs = std::filesystem;

std::FILE* OpenForWriting(const std::string& path) {
#ifdef _WIN32
  return _wfopen(platform::FsPath(path).c_str(), L"wb");
#else
  return std::fopen(path.c_str(), "wb");
#endif
}

bool SyncToDisk(std::FILE* f) {
#ifdef _WIN32
  return _commit(_fileno(f)) == 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

// A name beside path that no other writer (another instance writing the same file) picks.
std::string TemporaryNameFor(const std::string& path) {
  static thread_local std::mt19937 random{std::random_device{}()};
  return path + Format(".%08x.tmp", static_cast<unsigned>(random()));
}

}  // namespace

bool SaveFileAtomically(const std::string& path, std::string_view bytes, bool sync) {
  std::string temporary = TemporaryNameFor(path);
  std::FILE* f = OpenForWriting(temporary);
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

}  // namespace kestrune::engine
