#include "platform/win32/win32_device_tree.h"

#include <setupapi.h>

#include "platform/win32/wide.h"
#include "platform/win32/win32_dev_nodes.h"
#include "platform/win32/win32_device.h"
#include "platform/win32/win32_io.h"
#include "platform/win_device_text.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_query_replies.h"

namespace kestrune::platform::win32 {
namespace {

// Keeps the system from asking the operator about drives without media while the tree is read.
class QuietErrors {
 public:
  QuietErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
  ~QuietErrors() { SetThreadErrorMode(old_, nullptr); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  DWORD old_ = 0;
};

bool IsDevicePath(const std::string& path) { return path.rfind("\\\\.\\", 0) == 0 && path.size() > 4; }

// The device node of "\\.\PHYSICALDRIVEN": the disk interface whose device number is N.
std::optional<DEVINST> DiskNodeByNumber(uint32_t number) {
  for (const DiskInterface& found : DiskInterfaces()) {
    UniqueHandle h = OpenPath(found.path, OpenMode::kQuery);
    if (!h) continue;
    auto a = Query(h.get(), winio::kIoctlStorageGetDeviceNumber, {}, winio::kDeviceNumberBytes);
    std::optional<winio::DeviceNumber> n = a ? winio::ReadDeviceNumber(*a) : std::nullopt;
    if (n && n->deviceNumber == number) return found.node;
  }
  return std::nullopt;
}

// Opens the node's entry in a new device information set.
bool OpenDeviceInfo(const DeviceInfoSet& set, const std::string& instanceId, SP_DEVINFO_DATA& dev) {
  dev = SP_DEVINFO_DATA{};
  dev.cbSize = sizeof dev;
  const std::wstring id = Widen(instanceId);
  return set.ok() && !id.empty() && SetupDiOpenDeviceInfoW(set.get(), id.c_str(), nullptr, 0, &dev);
}

// "Safely remove": the eject request; a node that cannot be ejected (a fixed controller) is
// removed from the tree instead, until the next rescan finds it again.
bool RemoveDevNode(DEVINST node) {
  PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
  wchar_t vetoName[MAX_PATH] = {};
  if (CM_Request_Device_EjectW(node, &veto, vetoName, MAX_PATH, 0) == CR_SUCCESS &&
      veto == PNP_VetoTypeUnknown)
    return true;
  DeviceInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  SP_DEVINFO_DATA dev;
  return OpenDeviceInfo(set, InstanceIdOf(node), dev) && SetupDiRemoveDevice(set.get(), &dev);
}

}  // namespace

DeviceSnapshot Win32DeviceTree::Enumerate() {
  QuietErrors quiet;
  DeviceSnapshot snapshot;
  std::vector<FoundDisk> disks = EnumerateDisks();
  snapshot.volumes = EnumerateVolumes(disks);
  snapshot.adapters = EnumerateAdapters(disks);
  for (FoundDisk& d : disks) snapshot.disks.push_back(std::move(d.disk));
  return snapshot;
}

std::vector<AdapterNode> EnumerateAdapters(const std::vector<FoundDisk>& disks) {
  std::vector<AdapterNode> adapters;
  for (DEVINST node : SetupClassNodes(kScsiAdapterClass)) {
    AdapterNode a;
    a.instanceId = InstanceIdOf(node);
    a.description = NodeText(node, CM_DRP_DEVICEDESC);
    for (const FoundDisk& d : disks)
      if (!a.instanceId.empty() && d.disk.parent.instanceId == a.instanceId)
        a.childDiskNumbers.push_back(d.disk.deviceNumber);
    adapters.push_back(std::move(a));
  }
  return adapters;
}

std::unique_ptr<Device> Win32DeviceTree::Open(const std::string& path, OpenAccess access) {
  if (!IsDevicePath(path)) return nullptr;  // only device paths, never a file by accident
  QuietErrors quiet;
  UniqueHandle h = OpenPath(path, access == OpenAccess::kRead ? OpenMode::kRead : OpenMode::kReadWrite);
  if (!h) return nullptr;
  return std::make_unique<Win32Device>(path, std::move(h), access);
}

bool Win32DeviceTree::Rescan() {
  DEVINST root = 0;
  if (CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return false;
  return CM_Reenumerate_DevNode(root, CM_REENUMERATE_SYNCHRONOUS) == CR_SUCCESS;
}

bool Win32DeviceTree::RemoveNode(const std::string& pathOrInstanceId) {
  std::optional<DEVINST> node;
  if (std::optional<uint32_t> number = winio::PhysicalDriveNumber(pathOrInstanceId))
    node = DiskNodeByNumber(*number);
  else if (!IsDevicePath(pathOrInstanceId))
    node = LocateNode(pathOrInstanceId);
  return node && RemoveDevNode(*node);
}

namespace {

// A property-change request (DIF_PROPERTYCHANGE, global scope) of the node: disable, enable, or a
// restart (DICS_PROPCHANGE).
bool ChangeNodeState(const std::string& instanceId, DWORD state) {
  DeviceInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  SP_DEVINFO_DATA dev;
  if (!OpenDeviceInfo(set, instanceId, dev)) return false;
  SP_PROPCHANGE_PARAMS change{};
  change.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  change.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
  change.StateChange = state;
  change.Scope = DICS_FLAG_GLOBAL;
  change.HwProfile = 0;
  if (!SetupDiSetClassInstallParamsW(set.get(), &dev, &change.ClassInstallHeader, sizeof change))
    return false;
  return SetupDiChangeState(set.get(), &dev) != 0;
}

}  // namespace

bool Win32DeviceTree::SetNodeEnabled(const std::string& instanceId, bool enable) {
  return ChangeNodeState(instanceId, enable ? DICS_ENABLE : DICS_DISABLE);
}

bool Win32DeviceTree::RestartNode(const std::string& instanceId) { return ChangeNodeState(instanceId, DICS_PROPCHANGE); }

}  // namespace kestrune::platform::win32
