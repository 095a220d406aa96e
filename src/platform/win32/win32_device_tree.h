// The Windows device tree: disks of the disk interface class with their storage, SCSI and parent
// data, drive letters C to Z, the SCSI adapters, and node control through the configuration
// manager and SetupAPI.
#pragma once

#include <windows.h>
// The system headers below need the declarations of windows.h.
#include <cfgmgr32.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/device.h"

namespace kestrune::platform::win32 {

class Win32DeviceTree final : public DeviceTree {
 public:
  DeviceSnapshot Enumerate() override;
  std::unique_ptr<Device> Open(const std::string& path, OpenAccess access) override;
  bool Rescan() override;
  bool RemoveNode(const std::string& pathOrInstanceId) override;
  bool SetNodeEnabled(const std::string& instanceId, bool enable) override;
  bool RestartNode(const std::string& instanceId) override;
  // The PCI device properties of a node, and the nodes on the PCI bus (win32_pci.cpp).
  PciLinkReport PciLink(const std::string& instanceId) override;
  std::vector<PciDeviceNode> PciDevices() override;
  // An overlapped queue on a disk, a volume or a file (win32_queue.h).
  std::unique_ptr<AsyncQueue> OpenQueue(const std::string& path, const QueueOptions& options, Host& host,
                                        std::string& why) override;
  // DISKPART with a script file (win32_partition_tool.cpp).
  PartitionTool* Partitioner() override;
};

// --- Pieces of the enumeration ------------------------------------------------------------------

// One present interface of the disk class: its path and its device node.
struct DiskInterface {
  std::string path;
  DEVINST node = 0;
};
std::vector<DiskInterface> DiskInterfaces();

struct FoundDisk {
  DiskNode disk;
  DEVINST node = 0;
};
// Every disk whose device number can be read (a disk without one has no path to reach it by).
std::vector<FoundDisk> EnumerateDisks();

// Drive letters C to Z that lie on a listed disk, and those that span disks (software RAID).
std::vector<VolumeNode> EnumerateVolumes(const std::vector<FoundDisk>& disks);

// Nodes of the SCSI-adapter class, with the listed disks whose parent they are.
std::vector<AdapterNode> EnumerateAdapters(const std::vector<FoundDisk>& disks);

}  // namespace kestrune::platform::win32
