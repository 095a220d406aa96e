#include "platform/linux/block_devices.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace kestrune::platform::linux_dev {
namespace {

constexpr uint64_t kSizeUnit = 512;  // the unit of the "size" and "start" attributes
constexpr uint32_t kScsiTypeOptical = 5;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "nvme<digits>": the name of an NVMe controller.
bool IsControllerName(std::string_view name) { return StartsWith(name, "nvme") && AllDigits(name.substr(4)); }

// "mmcblk0boot0": the boot areas of an eMMC device, separate disks that the card protects.
bool IsEmmcBootArea(std::string_view name) {
  if (!StartsWith(name, "mmcblk")) return false;
  size_t boot = name.find("boot");
  return boot != std::string_view::npos && AllDigits(name.substr(boot + 4));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool Named(const std::vector<std::string>& nodes, const std::string& name) {
  const std::string node = "/dev/" + name;
  return std::any_of(nodes.begin(), nodes.end(), [&](const std::string& n) { return EqualsNoCase(n, node); });
}

bool Listed(const SysRoot& sys, const std::string& name, const std::string& sysPath, bool includeLoop,
            const std::vector<std::string>& namedLoops) {
  if (sys.Attr(sysPath + "/hidden").value_or("0") == "1") return false;
  if (StartsWith(name, "loop"))
    return (includeLoop || Named(namedLoops, name)) && sys.Exists(sysPath + "/loop/backing_file");
  if (StartsWith(name, "nvme")) return true;  // a multipath namespace hangs below its subsystem
  if (StartsWith(name, "sr") || StartsWith(name, "fd") || IsEmmcBootArea(name)) return false;
  if (!sys.Exists(sysPath + "/device")) return false;  // made by the kernel: RAM, zram, dm, md, nbd
  return sys.Number(sysPath + "/device/type").value_or(0) != kScsiTypeOptical;
}

// Sorts a run of letters or digits of a and b; returns <0, 0, >0.
int CompareRuns(std::string_view a, std::string_view b, bool digits) {
  if (digits) {
    while (a.size() > 1 && a.front() == '0') a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0') b.remove_prefix(1);
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da != db) return da;
    size_t ei = i, ej = j;
    while (ei < a.size() && (std::isdigit(static_cast<unsigned char>(a[ei])) != 0) == da) ++ei;
    while (ej < b.size() && (std::isdigit(static_cast<unsigned char>(b[ej])) != 0) == db) ++ej;
    int c = CompareRuns(std::string_view(a).substr(i, ei - i), std::string_view(b).substr(j, ej - j), da);
    if (c != 0) return c < 0;
    i = ei;
    j = ej;
  }
  return a.size() - i < b.size() - j;
}

uint32_t DeviceNumberOf(DevNumber dev) { return (dev.major << 20) | (dev.minor & 0xFFFFF); }

std::optional<BlockDevice> ReadBlockDevice(const SysRoot& sys, const std::string& sysPath) {
  std::optional<std::string> devText = sys.Attr(sysPath + "/dev");
  if (!devText) return std::nullopt;
  std::optional<DevNumber> dev = ParseDevNumber(*devText);
  if (!dev) return std::nullopt;
  BlockDevice d;
  d.name = BaseName(sysPath);
  d.sysPath = sysPath;
  d.dev = *dev;
  d.sizeBytes = sys.Number(sysPath + "/size").value_or(0) * kSizeUnit;
  d.startBytes = sys.Number(sysPath + "/start").value_or(0) * kSizeUnit;
  return d;
}

std::vector<BlockDisk> ListBlockDisks(const SysRoot& sys, bool includeLoop,
                                      const std::vector<std::string>& namedLoops) {
  std::vector<BlockDisk> disks;
  for (const std::string& name : sys.Entries("/sys/block")) {
    const std::string sysPath = sys.Resolve("/sys/block/" + name);
    if (sysPath.empty() || !Listed(sys, name, sysPath, includeLoop, namedLoops)) continue;
    std::optional<BlockDevice> disk = ReadBlockDevice(sys, sysPath);
    if (!disk) continue;
    BlockDisk entry;
    entry.disk = *disk;
    for (const std::string& child : sys.Entries(sysPath)) {
      if (!StartsWith(child, name) || !sys.Exists(sysPath + "/" + child + "/partition")) continue;
      if (std::optional<BlockDevice> part = ReadBlockDevice(sys, sysPath + "/" + child))
        entry.partitions.push_back(*part);
    }
    std::sort(entry.partitions.begin(), entry.partitions.end(),
              [](const BlockDevice& a, const BlockDevice& b) { return NaturalLess(a.name, b.name); });
    disks.push_back(std::move(entry));
  }
  std::sort(disks.begin(), disks.end(),
            [](const BlockDisk& a, const BlockDisk& b) { return NaturalLess(a.disk.name, b.disk.name); });
  return disks;
}

std::string BlockSysPath(const SysRoot& sys, DevNumber dev) {
  return sys.Resolve("/sys/dev/block/" + std::to_string(dev.major) + ":" + std::to_string(dev.minor));
}

std::string WholeDiskSysPath(const SysRoot& sys, const std::string& sysPath) {
  return sys.Exists(sysPath + "/partition") ? DirName(sysPath) : sysPath;
}

std::string NvmeControllerSysPath(const SysRoot& sys, const std::string& diskSysPath) {
  if (!StartsWith(BaseName(diskSysPath), "nvme")) return {};
  const std::string parent = DirName(diskSysPath);
  if (IsControllerName(BaseName(parent))) return parent;
  if (!StartsWith(BaseName(parent), "nvme-subsys")) return {};
  // A multipath namespace: its subsystem links to each controller that reaches it.
  std::vector<std::string> controllers;
  for (const std::string& entry : sys.Entries(parent))
    if (IsControllerName(entry)) controllers.push_back(entry);
  std::sort(controllers.begin(), controllers.end(), NaturalLess);
  std::string first;
  for (const std::string& c : controllers) {
    std::string path = sys.Resolve(parent + "/" + c);
    if (path.empty()) continue;
    if (sys.Attr(path + "/state").value_or("live") == "live") return path;
    if (first.empty()) first = path;
  }
  return first;
}

std::vector<std::string> HoldersOf(const SysRoot& sys, const std::string& sysPath) {
  return sys.Entries(sysPath + "/holders");
}

}  // namespace kestrune::platform::linux_dev
