#include "platform/linux/linux_device_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/block_devices.h"
#include "platform/linux/disk_nodes.h"
#include "platform/linux/linux_device.h"
#include "platform/linux/parent_nodes.h"
#include "platform/linux/pci_devices.h"
#include "platform/linux/volumes.h"

namespace kestrune::platform::linux_dev {
namespace {

// The class of a character device ("nvme", "scsi_generic").
std::string CharClass(const SysRoot& sys, DevNumber dev) {
  return LinkName(sys, "/sys/dev/char/" + std::to_string(dev.major) + ":" + std::to_string(dev.minor) + "/subsystem");
}

// Character devices that carry commands and nothing else; opening any other character device could
// have effects of its own (a watchdog starts counting when opened).
bool IsCommandClass(const std::string& c) { return c == "nvme" || c == "nvme-generic" || c == "scsi_generic"; }

// Opens a block device node for unbuffered access; without O_DIRECT when the node refuses it.
int OpenBlock(const std::string& local, int flags, bool& direct) {
  int fd;
  do {
    fd = ::open(local.c_str(), flags | O_DIRECT | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  direct = fd >= 0;
  if (fd < 0 && errno == EINVAL) fd = ::open(local.c_str(), flags | O_CLOEXEC);
  return fd;
}

std::vector<AdapterNode> Adapters(const SysRoot& sys, const std::vector<DiskNode>& disks) {
  std::vector<AdapterNode> adapters;
  for (const std::string& name : sys.Entries("/sys/bus/pci/devices")) {
    const std::string path = sys.Resolve("/sys/bus/pci/devices/" + name);
    if (path.empty()) continue;
    std::string description =
        StorageClassDescription(static_cast<uint32_t>(sys.Number(path + "/class").value_or(0)));
    if (description.empty()) continue;
    AdapterNode a;
    a.instanceId = path;
    a.description = std::move(description);
    for (const DiskNode& d : disks)
      if (d.parent.instanceId == path) a.childDiskNumbers.push_back(d.deviceNumber);
    adapters.push_back(std::move(a));
  }
  return adapters;
}

}  // namespace

LinuxDeviceTree::LinuxDeviceTree(LinuxTreeOptions options) : options_(std::move(options)), sys_(options_.root) {}

DeviceSnapshot LinuxDeviceTree::Enumerate() {
  DeviceSnapshot snapshot;
  const std::vector<BlockDisk> disks = ListBlockDisks(sys_, options_.listLoopDevices, options_.namedDisks);
  for (const BlockDisk& d : disks) snapshot.disks.push_back(DiskNodeOf(sys_, d));
  snapshot.volumes = FindVolumes(sys_, disks);
  snapshot.adapters = Adapters(sys_, snapshot.disks);
  return snapshot;
}

PciLinkReport LinuxDeviceTree::PciLink(const std::string& instanceId) {
  return ReadPciLink(sys_, instanceId);
}

std::vector<PciDeviceNode> LinuxDeviceTree::PciDevices() { return ListPciDevices(sys_); }

std::unique_ptr<Device> LinuxDeviceTree::Open(const std::string& path, OpenAccess access) {
  if (path.empty() || path.front() != '/') return nullptr;
  const std::string local = sys_.Local(path);
  struct stat st {};
  if (::stat(local.c_str(), &st) != 0) return nullptr;
  const DevNumber dev{::major(st.st_rdev), ::minor(st.st_rdev)};
  const bool write = access == OpenAccess::kReadWrite;

  LinuxDevice::Opening o;
  o.sys = sys_;
  o.localNode = local;
  if (S_ISBLK(st.st_mode)) {
    const std::string sysPath = BlockSysPath(sys_, dev);
    std::optional<DevNumber> wholeDisk;
    if (!sysPath.empty()) {
      o.diskSysPath = WholeDiskSysPath(sys_, sysPath);
      if (o.diskSysPath != sysPath)
        if (std::optional<BlockDevice> whole = ReadBlockDevice(sys_, o.diskSysPath)) wholeDisk = whole->dev;
      const std::string controller = NvmeControllerSysPath(sys_, o.diskSysPath);
      if (!controller.empty()) o.controllerNode = sys_.Local("/dev/" + BaseName(controller));
      o.nvme = BaseName(o.diskSysPath).rfind("nvme", 0) == 0;
    }
    if (write) {
      int error = 0;
      o.claim = DiskClaim::Acquire(local, dev, wholeDisk, error);
      // Busy: the system (or another program) holds the disk; the handle stays read-only.
      if (!o.claim && error != EBUSY) return nullptr;
    }
    o.fd = OpenBlock(local, O_RDONLY, o.direct);
  } else if (S_ISCHR(st.st_mode) && IsCommandClass(CharClass(sys_, dev))) {
    o.kind = LinuxDevice::NodeKind::kCommandNode;
    o.direct = false;
    o.nvme = CharClass(sys_, dev) != "scsi_generic";
    do {
      o.fd = ::open(local.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    } while (o.fd < 0 && errno == EINTR);
  } else {
    return nullptr;
  }
  if (o.fd < 0) return nullptr;
  return std::make_unique<LinuxDevice>(std::move(o));
}

}  // namespace kestrune::platform::linux_dev
