#include "platform/linux/volumes.h"

#include <blkid/blkid.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <map>
#include <string_view>

#include "platform/linux/mount_table.h"

namespace kestrune::platform::linux_dev {
namespace {

constexpr std::string_view kSystemMounts[] = {"/", "/boot", "/boot/efi", "/efi"};
constexpr std::string_view kSwapLetter = "[SWAP]";
constexpr int kMaxStackDepth = 16;

// The volume label and file-system type that the volume's superblock gives (libblkid); left as
// they are when the node cannot be read.
void ProbeSuperblock(const std::string& node, std::string& label, std::string& fileSystem) {
  blkid_probe probe = blkid_new_probe_from_filename(node.c_str());
  if (!probe) return;
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
  if (blkid_do_safeprobe(probe) == 0) {
    const char* value = nullptr;
    if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value) fileSystem = value;
    if (blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value) label = value;
  }
  blkid_free_probe(probe);
}

bool IsSystemMount(std::string_view mountPoint) {
  return std::find(std::begin(kSystemMounts), std::end(kSystemMounts), mountPoint) != std::end(kSystemMounts);
}

// One way the system uses a listed disk or partition (the leaf), through the device top.
struct Use {
  std::string leaf;
  std::string top;
  std::string letter;
  bool mounted = false;
  bool holdsSystem = false;
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  std::string fsType;  // of the mount
};

class VolumeFinder {
 public:
  VolumeFinder(const SysRoot& sys, const std::vector<BlockDisk>& disks) : sys_(sys), disks_(disks) {
    for (const BlockDisk& d : disks) {
      listed_[d.disk.name] = &d.disk;
      for (const BlockDevice& p : d.partitions) listed_[p.name] = &p;
    }
  }

  std::vector<VolumeNode> Find() {
    AddMounts();
    AddSwaps();
    AddHeldDevices();
    return Nodes();
  }

 private:
  // The name of the block device a mount or swap refers to: by its device number, else by the node
  // its source names; "" when it is not a block device.
  std::string DeviceName(DevNumber dev, const std::string& source) const {
    if (dev.major != 0) {
      std::string path = BlockSysPath(sys_, dev);
      if (!path.empty()) return BaseName(path);
    }
    if (source.rfind("/dev/", 0) == 0) {
      std::string node = sys_.Resolve(source);
      if (!node.empty()) return BaseName(node);
    }
    return {};
  }

  // The listed devices that a block device rests on: itself when listed, else the listed devices
  // below it through the "slaves" links of device-mapper and MD.
  void Leaves(const std::string& name, std::vector<std::string>& out, int depth = 0) const {
    if (listed_.count(name)) {
      if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
      return;
    }
    if (depth >= kMaxStackDepth || name.empty()) return;
    for (const std::string& below : sys_.Entries("/sys/class/block/" + name + "/slaves"))
      Leaves(below, out, depth + 1);
  }

  void Add(Use use) {
    for (Use& u : uses_) {
      if (u.leaf != use.leaf || u.top != use.top) continue;
      u.holdsSystem = u.holdsSystem || use.holdsSystem;
      if (use.mounted && (!u.mounted || use.letter.size() < u.letter.size())) {
        u.letter = use.letter;
        u.mounted = true;
        u.totalBytes = use.totalBytes;
        u.freeBytes = use.freeBytes;
        u.fsType = use.fsType;
      }
      return;
    }
    uses_.push_back(std::move(use));
  }

  void AddMounts() {
    for (const MountEntry& m : ParseMountInfo(sys_.Text("/proc/self/mountinfo").value_or(""))) {
      const std::string top = DeviceName(m.dev, m.source);
      std::vector<std::string> leaves;
      Leaves(top, leaves);
      if (leaves.empty()) continue;
      mountTops_.emplace_back(m.mountPoint, top);
      Use use;
      use.top = top;
      use.letter = m.mountPoint;
      use.mounted = true;
      use.holdsSystem = IsSystemMount(m.mountPoint);
      use.fsType = m.fsType;
      struct statvfs vfs {};
      if (::statvfs(sys_.Local(m.mountPoint).c_str(), &vfs) == 0) {
        use.totalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
        use.freeBytes = static_cast<uint64_t>(vfs.f_bfree) * vfs.f_frsize;
      }
      for (const std::string& leaf : leaves) {
        use.leaf = leaf;
        Add(use);
      }
    }
  }

  // The device of the mount that holds path (the longest mount point above it); "".
  std::string TopHolding(const std::string& path) const {
    std::string best, bestMount;
    for (const auto& [mountPoint, top] : mountTops_) {
      const bool above = mountPoint == "/" || path == mountPoint ||
                         (path.rfind(mountPoint, 0) == 0 && path.size() > mountPoint.size() && path[mountPoint.size()] == '/');
      if (above && mountPoint.size() >= bestMount.size()) {
        best = top;
        bestMount = mountPoint;
      }
    }
    return best;
  }

  void AddSwaps() {
    for (const SwapEntry& s : ParseSwaps(sys_.Text("/proc/swaps").value_or(""))) {
      if (!s.partition) {
        const std::string top = TopHolding(s.path);
        for (Use& u : uses_)
          if (!top.empty() && u.top == top) u.holdsSystem = true;
        continue;
      }
      const std::string top = DeviceName({}, s.path);
      std::vector<std::string> leaves;
      Leaves(top, leaves);
      for (const std::string& leaf : leaves) {
        Use use;
        use.leaf = leaf;
        use.top = top;
        use.letter = std::string(kSwapLetter);
        use.holdsSystem = true;
        use.totalBytes = s.sizeKiB * 1024;
        use.freeBytes = s.sizeKiB >= s.usedKiB ? (s.sizeKiB - s.usedKiB) * 1024 : 0;
        Add(std::move(use));
      }
    }
  }

  // Listed devices that something holds but nothing above uses yet (an unmounted LVM volume group,
  // an MD member of an array that is not mounted).
  void AddHeldDevices() {
    for (const auto& [name, device] : listed_) {
      const std::string& leaf = name;  // a structured binding cannot be captured by every compiler
      if (std::any_of(uses_.begin(), uses_.end(), [&](const Use& u) { return u.leaf == leaf; })) continue;
      std::vector<std::string> holders = HoldersOf(sys_, device->sysPath);
      if (holders.empty()) continue;
      std::string top = holders.front();
      for (int depth = 0; depth < kMaxStackDepth; ++depth) {
        std::vector<std::string> above = sys_.Entries("/sys/class/block/" + top + "/holders");
        if (above.empty()) break;
        top = above.front();
      }
      Use use;
      use.leaf = name;
      use.top = top;
      use.letter = "[" + top + "]";
      use.totalBytes = sys_.Number("/sys/class/block/" + top + "/size").value_or(0) * 512;
      Add(std::move(use));
    }
  }

  VolumeNode NodeOf(const Use& u, const BlockDisk& disk, const BlockDevice& leaf) const {
    VolumeNode v;
    v.letter = u.letter;
    v.path = "/dev/" + u.top;
    v.onListedDisk = true;
    v.diskNumber = DeviceNumberOf(disk.disk.dev);
    v.softwareRaid = u.top != u.leaf;
    v.totalBytes = u.totalBytes;
    v.freeBytes = u.freeBytes;
    v.partitionOffset = leaf.startBytes;
    v.holdsSystem = u.holdsSystem && disk.disk.name.rfind("loop", 0) != 0;
    v.fileSystem = u.fsType;
    ProbeSuperblock(sys_.Local(v.path), v.label, v.fileSystem);
    return v;
  }

  std::vector<VolumeNode> Nodes() const {
    std::vector<VolumeNode> nodes;
    for (const BlockDisk& disk : disks_) {
      std::vector<const BlockDevice*> devices{&disk.disk};
      for (const BlockDevice& p : disk.partitions) devices.push_back(&p);
      for (const BlockDevice* device : devices)
        for (const Use& u : uses_)
          if (u.leaf == device->name) nodes.push_back(NodeOf(u, disk, *device));
    }
    return nodes;
  }

  const SysRoot& sys_;
  const std::vector<BlockDisk>& disks_;
  std::map<std::string, const BlockDevice*> listed_;
  std::vector<Use> uses_;
  std::vector<std::pair<std::string, std::string>> mountTops_;  // mount point, device
};

}  // namespace

std::vector<VolumeNode> FindVolumes(const SysRoot& sys, const std::vector<BlockDisk>& disks) {
  return VolumeFinder(sys, disks).Find();
}

}  // namespace kestrune::platform::linux_dev
