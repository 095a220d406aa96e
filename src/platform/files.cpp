#include "platform/files.h"

#include <fcntl.h>

#include <algorithm>
#include <fstream>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace kestrune::platform {
namespace fs = std::filesystem;

fs::path FsPath(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Path(const fs::path& p) {
  std::u8string s = p.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(FsPath(path), ec);
}

bool FolderExists(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(FsPath(path), ec);
}

bool RemoveFile(const std::string& path) {
  std::error_code ec;
  return fs::remove(FsPath(path), ec);
}

bool CopyFileOver(const std::string& from, const std::string& to) {
  std::error_code ec;
  return fs::copy_file(FsPath(from), FsPath(to), fs::copy_options::overwrite_existing, ec);
}

std::vector<std::string> ListFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(FsPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError)) names.push_back(Utf8Path(it->path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::FILE* CreateNewFile(const std::string& path) {
#ifdef _WIN32
  int fd = -1;
  if (_wsopen_s(&fd, FsPath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO,
                _S_IREAD | _S_IWRITE) != 0)
    return nullptr;
  std::FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);
#else
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) ::close(fd);
#endif
  return f;
}

std::FILE* OpenAppendFile(const std::string& path) {
#ifdef _WIN32
  return _wfopen(FsPath(path).c_str(), L"ab");
#else
  return std::fopen(path.c_str(), "abe");
#endif
}

std::FILE* OpenReadFile(const std::string& path) {
#ifdef _WIN32
  return _wfopen(FsPath(path).c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rbe");
#endif
}

std::FILE* OpenWriteFile(const std::string& path) {
#ifdef _WIN32
  return _wfopen(FsPath(path).c_str(), L"wb");
#else
  return std::fopen(path.c_str(), "wbe");
#endif
}

bool SeekFile(std::FILE* f, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
#ifdef _WIN32
  return _fseeki64(f, static_cast<int64_t>(offset), SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::optional<uint64_t> FileSizeOf(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(FsPath(path), ec)) return std::nullopt;
  const uintmax_t size = fs::file_size(FsPath(path), ec);
  if (ec) return std::nullopt;
  return static_cast<uint64_t>(size);
}

bool CreateNewFolder(const std::string& path) {
  std::error_code ec;
  return fs::create_directory(FsPath(path), ec);
}

}  // namespace kestrune::platform
