#include "platform/win32/win32_dev_nodes.h"

#include <algorithm>

#include "platform/win32/wide.h"
#include "platform/win_device_text.h"

namespace kestrune::platform::win32 {
namespace {

constexpr int kMaxDepth = 16;  // USB allows 5 tiers of hubs; this bounds a broken tree walk

// A UTF-16 registry text without its terminating zeros.
std::string TextOf(const std::vector<wchar_t>& buffer) {
  std::wstring_view w(buffer.data(), buffer.size());
  size_t end = w.find(L'\0');
  if (end != std::wstring_view::npos) w = w.substr(0, end);
  return Narrow(w);
}

std::vector<DEVINST> NodesOf(HDEVINFO raw) {
  DeviceInfoSet set(raw);
  std::vector<DEVINST> nodes;
  if (!set.ok()) return nodes;
  SP_DEVINFO_DATA dev{};
  dev.cbSize = sizeof dev;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set.get(), i, &dev); ++i) nodes.push_back(dev.DevInst);
  return nodes;
}

// The version of the node's installed driver: the driver node whose description equals name, else
// the first one the installed-driver list holds. 0 when there is none.
uint64_t DriverVersionOf(const std::string& instanceId, const std::string& name) {
  DeviceInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  if (!set.ok()) return 0;
  SP_DEVINFO_DATA dev{};
  dev.cbSize = sizeof dev;
  const std::wstring id = Widen(instanceId);
  if (!SetupDiOpenDeviceInfoW(set.get(), id.c_str(), nullptr, 0, &dev)) return 0;
  SP_DEVINSTALL_PARAMS_W params{};
  params.cbSize = sizeof params;
  if (SetupDiGetDeviceInstallParamsW(set.get(), &dev, &params)) {
    params.FlagsEx |= DI_FLAGSEX_INSTALLEDDRIVER | DI_FLAGSEX_ALLOWEXCLUDEDDRVS;
    SetupDiSetDeviceInstallParamsW(set.get(), &dev, &params);
  }
  if (!SetupDiBuildDriverInfoList(set.get(), &dev, SPDIT_COMPATDRIVER)) return 0;
  uint64_t first = 0, named = 0;
  SP_DRVINFO_DATA_W info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDriverInfoW(set.get(), &dev, SPDIT_COMPATDRIVER, i, &info); ++i) {
    if (i == 0) first = info.DriverVersion;
    if (Narrow(info.Description) == name) {
      named = info.DriverVersion;
      break;
    }
  }
  SetupDiDestroyDriverInfoList(set.get(), &dev, SPDIT_COMPATDRIVER);
  return named != 0 ? named : first;
}

}  // namespace

std::string NodeText(DEVINST node, ULONG property) {
  ULONG bytes = 0;
  ULONG type = 0;
  if (CM_Get_DevNode_Registry_PropertyW(node, property, &type, nullptr, &bytes, 0) != CR_BUFFER_SMALL ||
      bytes == 0)
    return {};
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  if (CM_Get_DevNode_Registry_PropertyW(node, property, &type, buffer.data(), &bytes, 0) != CR_SUCCESS)
    return {};
  if (type != REG_SZ && type != REG_MULTI_SZ && type != REG_EXPAND_SZ) return {};
  return TextOf(buffer);
}

std::optional<uint32_t> NodeNumber(DEVINST node, ULONG property) {
  DWORD value = 0;
  ULONG bytes = sizeof value;
  ULONG type = 0;
  if (CM_Get_DevNode_Registry_PropertyW(node, property, &type, &value, &bytes, 0) != CR_SUCCESS ||
      type != REG_DWORD)
    return std::nullopt;
  return value;
}

std::string InstanceIdOf(DEVINST node) {
  ULONG chars = 0;
  if (CM_Get_Device_ID_Size(&chars, node, 0) != CR_SUCCESS) return {};
  std::vector<wchar_t> buffer(chars + 1, L'\0');
  if (CM_Get_Device_IDW(node, buffer.data(), static_cast<ULONG>(buffer.size()), 0) != CR_SUCCESS) return {};
  return TextOf(buffer);
}

std::optional<DEVINST> ParentOf(DEVINST node) {
  DEVINST parent = 0;
  if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return std::nullopt;
  return parent;
}

std::optional<DEVINST> LocateNode(const std::string& instanceId) {
  std::wstring id = Widen(instanceId);
  DEVINST node = 0;
  if (id.empty() || CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
    return std::nullopt;
  return node;
}

std::string NameOf(DEVINST node) {
  std::string name = NodeText(node, CM_DRP_FRIENDLYNAME);
  return name.empty() ? NodeText(node, CM_DRP_DEVICEDESC) : name;
}

std::string LocationInformationOf(DEVINST node, const std::string& instanceId) {
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Enum\\" + Widen(instanceId);
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"LocationInformation", RRF_RT_REG_SZ, nullptr, nullptr,
                   &bytes) == ERROR_SUCCESS &&
      bytes > 0) {
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"LocationInformation", RRF_RT_REG_SZ, nullptr,
                     buffer.data(), &bytes) == ERROR_SUCCESS)
      return TextOf(buffer);
  }
  return NodeText(node, CM_DRP_LOCATION_INFORMATION);
}

ParentNode ParentNodeOf(DEVINST disk) {
  ParentNode p;
  std::optional<DEVINST> parent = ParentOf(disk);
  if (!parent) return p;
  p.name = NameOf(*parent);
  p.instanceId = InstanceIdOf(*parent);
  p.driverService = NodeText(*parent, CM_DRP_SERVICE);
  p.driverVersion = DriverVersionOf(p.instanceId, p.name);
  p.locationInformation = LocationInformationOf(*parent, p.instanceId);
  p.busAddress = NodeNumber(*parent, CM_DRP_ADDRESS).value_or(0);
  return p;
}

std::vector<DEVINST> InterfaceNodes(const GUID& interfaceClass) {
  return NodesOf(
      SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
}

std::vector<DEVINST> SetupClassNodes(const GUID& setupClass) {
  return NodesOf(SetupDiGetClassDevsW(&setupClass, nullptr, nullptr, DIGCF_PRESENT));
}

std::vector<DEVINST> PresentNodes() {
  return NodesOf(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
}

void UsbChainReader::Load() {
  if (loaded_) return;
  loaded_ = true;
  usbDevices_ = InterfaceNodes(kUsbDeviceInterface);
  hostControllers_ = InterfaceNodes(kUsbHostControllerInterface);
}

void UsbChainReader::Fill(DEVINST disk, DiskNode& node) {
  Load();
  auto isUsbDevice = [&](DEVINST n) {
    return std::find(usbDevices_.begin(), usbDevices_.end(), n) != usbDevices_.end();
  };

  // The disk's USB device: the nearest node above the disk that is a USB device (a composite
  // device's storage interface is not one; its parent is).
  std::optional<DEVINST> device = ParentOf(disk);
  for (int depth = 0; device && !isUsbDevice(*device) && depth < kMaxDepth; ++depth)
    device = ParentOf(*device);
  if (!device || !isUsbDevice(*device)) return;

  std::vector<uint32_t> ports;
  std::optional<DEVINST> at = device;
  for (int depth = 0; at && depth < kMaxDepth; ++depth) {
    if (winio::IsRootHubInstanceId(InstanceIdOf(*at))) {
      std::optional<DEVINST> controller = ParentOf(*at);
      auto it = controller ? std::find(hostControllers_.begin(), hostControllers_.end(), *controller)
                           : hostControllers_.end();
      if (it == hostControllers_.end()) return;
      node.usbPorts = std::move(ports);
      node.usbHostController = static_cast<uint32_t>(it - hostControllers_.begin()) + 1;
      return;
    }
    std::optional<uint32_t> port = winio::UsbPortOfLocation(NodeText(*at, CM_DRP_LOCATION_INFORMATION));
    if (!port) return;
    ports.push_back(*port);
    at = ParentOf(*at);
  }
}

}  // namespace kestrune::platform::win32
