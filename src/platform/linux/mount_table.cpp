#include "platform/linux/mount_table.h"

#include <cstdlib>

namespace kestrune::platform::linux_dev {
namespace {

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

template <typename Each>
void ForEachLine(std::string_view text, Each each) {
  while (!text.empty()) {
    size_t nl = text.find('\n');
    each(text.substr(0, nl));
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
}

bool ParseCount(std::string_view field, uint64_t& out) {
  if (field.empty() || field.size() > 19) return false;
  out = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

}  // namespace

std::string UnescapeOctal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      std::string_view digits = text.substr(i + 1, 3);
      bool octal = true;
      for (char c : digits) octal = octal && c >= '0' && c <= '7';
      if (octal) {
        out += static_cast<char>(((digits[0] - '0') << 6) | ((digits[1] - '0') << 3) | (digits[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> mounts;
  ForEachLine(text, [&](std::string_view line) {
    std::vector<std::string_view> f = Fields(line);
    if (f.size() < 7) return;
    size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (dash + 2 >= f.size()) return;
    std::optional<DevNumber> dev = ParseDevNumber(f[2]);
    if (!dev) return;
    MountEntry m;
    m.dev = *dev;
    m.mountPoint = UnescapeOctal(f[4]);
    m.fsType = UnescapeOctal(f[dash + 1]);
    m.source = UnescapeOctal(f[dash + 2]);
    mounts.push_back(std::move(m));
  });
  return mounts;
}

std::vector<SwapEntry> ParseSwaps(std::string_view text) {
  std::vector<SwapEntry> swaps;
  bool heading = true;
  ForEachLine(text, [&](std::string_view line) {
    if (heading) {
      heading = false;
      return;
    }
    std::vector<std::string_view> f = Fields(line);
    if (f.size() < 4) return;
    SwapEntry s;
    s.path = UnescapeOctal(f[0]);
    s.partition = f[1] == "partition";
    if (!ParseCount(f[2], s.sizeKiB) || !ParseCount(f[3], s.usedKiB)) return;
    swaps.push_back(std::move(s));
  });
  return swaps;
}

}  // namespace kestrune::platform::linux_dev
