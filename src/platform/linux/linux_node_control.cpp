// Node control of LinuxDeviceTree: rescan, removal, and driver unbinding through sysfs.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/block_devices.h"
#include "platform/linux/linux_device_tree.h"
#include "platform/linux/volumes.h"

namespace kestrune::platform::linux_dev {
namespace {

bool Below(const std::string& path, const std::string& folder) {
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            path[folder.size()] == '/');
}

// Whether the kernel refuses an exclusive open of the node: something holds the disk (a file system
// of any kind, swap, MD, device-mapper, another program's exclusive open, or this program).
bool RefusesClaim(const std::string& localNode) {
  int fd = ::open(localNode.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    ::close(fd);
    return false;
  }
  return errno == EBUSY;
}

}  // namespace

bool LinuxDeviceTree::HoldsBusyDisk(const std::string& folder) {
  const std::vector<BlockDisk> disks = ListBlockDisks(sys_, true);
  const std::vector<VolumeNode> volumes = FindVolumes(sys_, disks);
  for (const BlockDisk& d : disks) {
    const bool below = Below(d.disk.sysPath, folder) || Below(NvmeControllerSysPath(sys_, d.disk.sysPath), folder);
    if (!below) continue;
    const uint32_t number = DeviceNumberOf(d.disk.dev);
    if (std::any_of(volumes.begin(), volumes.end(), [&](const VolumeNode& v) { return v.diskNumber == number; }))
      return true;
    if (RefusesClaim(sys_.Local("/dev/" + d.disk.name))) return true;
  }
  return false;
}

bool LinuxDeviceTree::Rescan() {
  bool any = false;
  const bool pci = sys_.Write("/sys/bus/pci/rescan", "1");
  for (const std::string& host : sys_.Entries("/sys/class/scsi_host"))
    any = sys_.Write("/sys/class/scsi_host/" + host + "/scan", "- - -") || any;
  for (const std::string& controller : sys_.Entries("/sys/class/nvme"))
    any = sys_.Write("/sys/class/nvme/" + controller + "/rescan_controller", "1") || any;
  return pci || any;
}

bool LinuxDeviceTree::RemoveNode(const std::string& pathOrInstanceId) {
  if (pathOrInstanceId.rfind("/dev/", 0) == 0) {
    // A disk: its SCSI device can be deleted; an NVMe namespace goes only with its controller.
    const std::string node = sys_.Resolve(pathOrInstanceId);
    if (node.empty()) return false;
    const std::string sysPath = sys_.Resolve("/sys/block/" + BaseName(node));
    if (sysPath.empty() || !sys_.Exists(sysPath + "/device/delete") || HoldsBusyDisk(sysPath)) return false;
    return sys_.Write(sysPath + "/device/delete", "1");
  }
  const std::string path = sys_.Resolve(pathOrInstanceId);
  if (path.rfind("/sys/devices/", 0) != 0 || !sys_.Exists(path + "/remove") || HoldsBusyDisk(path)) return false;
  return sys_.Write(path + "/remove", "1");
}

bool LinuxDeviceTree::SetNodeEnabled(const std::string& instanceId, bool enable) {
  const std::string path = sys_.Resolve(instanceId);
  if (path.rfind("/sys/devices/", 0) != 0) return false;
  const bool bound = sys_.Exists(path + "/driver");
  if (enable) {
    if (bound) return true;
    const std::string subsystem = LinkName(sys_, path + "/subsystem");
    return !subsystem.empty() && sys_.Write("/sys/bus/" + subsystem + "/drivers_probe", BaseName(path));
  }
  if (!bound) return true;
  if (HoldsBusyDisk(path)) return false;
  return sys_.Write(path + "/driver/unbind", BaseName(path));
}

}  // namespace kestrune::platform::linux_dev
