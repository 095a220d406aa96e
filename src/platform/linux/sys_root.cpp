#include "platform/linux/sys_root.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrune::platform::linux_dev {
namespace {

namespace fs = std::filesystem;

std::string_view TrimBlanks(std::string_view s) {
  const char* blanks = " \t\r\n";
  size_t first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

}  // namespace

SysRoot::SysRoot(std::string root) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(fs::path(root.empty() ? "/" : root), ec);
  std::string r = ec ? root : canonical.string();
  while (!r.empty() && r.back() == '/') r.pop_back();
  root_ = r;
}

std::string SysRoot::Local(std::string_view systemPath) const {
  if (root_.empty()) return std::string(systemPath);
  std::string out = root_;
  if (systemPath.empty() || systemPath.front() != '/') out += '/';
  out += systemPath;
  return out;
}

std::optional<std::string> SysRoot::Text(std::string_view path) const {
  std::ifstream in(Local(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return out.str();
}

std::optional<std::string> SysRoot::Attr(std::string_view path) const {
  std::ifstream in(Local(path));
  if (!in) return std::nullopt;
  std::string line;
  if (!std::getline(in, line) && !in.eof()) return std::nullopt;
  return std::string(TrimBlanks(line));
}

std::optional<uint64_t> SysRoot::Number(std::string_view path) const {
  std::optional<std::string> text = Attr(path);
  if (!text || text->empty()) return std::nullopt;
  const char* begin = text->c_str();
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(begin, &end, 0);
  if (errno != 0 || end == begin || *end != '\0' || text->front() == '-') return std::nullopt;
  return static_cast<uint64_t>(v);
}

std::string SysRoot::Resolve(std::string_view path) const {
  std::error_code ec;
  fs::path resolved = fs::canonical(fs::path(Local(path)), ec);
  if (ec) return {};
  std::string s = resolved.string();
  if (root_.empty()) return s;
  if (s == root_) return "/";
  if (s.size() <= root_.size() || s.compare(0, root_.size(), root_) != 0 || s[root_.size()] != '/') return {};
  return s.substr(root_.size());
}

std::vector<std::string> SysRoot::Entries(std::string_view folder) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(Local(folder)), ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool SysRoot::Exists(std::string_view path) const {
  std::error_code ec;
  return fs::exists(fs::path(Local(path)), ec);
}

bool SysRoot::Write(std::string_view path, std::string_view text) const {
  int fd = ::open(Local(path).c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t n;
  do {
    n = ::write(fd, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
  bool ok = n == static_cast<ssize_t>(text.size());
  if (::close(fd) != 0) ok = false;
  return ok;
}

std::string BaseName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string DirName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string LinkName(const SysRoot& sys, std::string_view link) {
  std::string target = sys.Resolve(link);
  return target.empty() ? std::string() : BaseName(target);
}

std::optional<DevNumber> ParseDevNumber(std::string_view text) {
  text = TrimBlanks(text);
  size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) return std::nullopt;
  DevNumber d;
  uint64_t parts[2] = {0, 0};
  std::string_view fields[2] = {text.substr(0, colon), text.substr(colon + 1)};
  for (int i = 0; i < 2; ++i) {
    if (fields[i].size() > 10) return std::nullopt;
    for (char c : fields[i]) {
      if (c < '0' || c > '9') return std::nullopt;
      parts[i] = parts[i] * 10 + static_cast<uint64_t>(c - '0');
    }
    if (parts[i] > UINT32_MAX) return std::nullopt;
  }
  d.major = static_cast<uint32_t>(parts[0]);
  d.minor = static_cast<uint32_t>(parts[1]);
  return d;
}

}  // namespace kestrune::platform::linux_dev
