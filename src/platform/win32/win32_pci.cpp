// The PCI side of the Windows device tree: a node's PCI Express link from the PCI bus driver's
// device properties, and the nodes on the PCI bus (legacy bus type PCIBus) with the location of the
// PCI node above each (CM_Get_Parent), "" when the node above is not on the PCI bus.
#include <windows.h>
// The system headers below need the declarations of windows.h.
#include <cfgmgr32.h>
#include <devpropdef.h>

#include <optional>

#include "platform/win32/win32_dev_nodes.h"
#include "platform/win32/win32_device_tree.h"

namespace kestrune::platform::win32 {
namespace {

// The PCI device property set of the PCI bus driver ({3AB22E31-8264-4B4E-9AF5-A8D2D8E33E62}); its
// link speeds are the Link Status register's codes (1 = 2.5 GT/s, 2 = 5.0 GT/s, ...), its widths lanes.
constexpr GUID kPciDeviceProperties = {
    0x3AB22E31, 0x8264, 0x4B4E, {0x9A, 0xF5, 0xA8, 0xD2, 0xD8, 0xE3, 0x3E, 0x62}};
constexpr DEVPROPKEY kCurrentLinkSpeed = {kPciDeviceProperties, 9};
constexpr DEVPROPKEY kCurrentLinkWidth = {kPciDeviceProperties, 10};
constexpr DEVPROPKEY kMaxLinkSpeed = {kPciDeviceProperties, 11};
constexpr DEVPROPKEY kMaxLinkWidth = {kPciDeviceProperties, 12};

// INTERFACE_TYPE PCIBus, the legacy bus type of the PCI bus driver's children.
constexpr uint32_t kPciLegacyBus = 5;

uint32_t Uint32Property(DEVINST node, const DEVPROPKEY& key) {
  DEVPROPTYPE type = 0;
  ULONG value = 0;
  ULONG bytes = sizeof value;
  if (CM_Get_DevNode_PropertyW(node, &key, &type, reinterpret_cast<PBYTE>(&value), &bytes, 0) != CR_SUCCESS ||
      type != DEVPROP_TYPE_UINT32 || bytes != sizeof value)
    return 0;
  return value;
}

bool OnPciBus(DEVINST node) { return NodeNumber(node, CM_DRP_LEGACYBUSTYPE) == kPciLegacyBus; }

}  // namespace

PciLinkReport Win32DeviceTree::PciLink(const std::string& instanceId) {
  PciLinkReport r;
  std::optional<DEVINST> node = LocateNode(instanceId);
  if (!node) return r;
  r.currentSpeed.code = Uint32Property(*node, kCurrentLinkSpeed);
  r.currentWidth = Uint32Property(*node, kCurrentLinkWidth);
  r.maxSpeed.code = Uint32Property(*node, kMaxLinkSpeed);
  r.maxWidth = Uint32Property(*node, kMaxLinkWidth);
  return r;
}

std::vector<PciDeviceNode> Win32DeviceTree::PciDevices() {
  std::vector<PciDeviceNode> devices;
  for (DEVINST node : PresentNodes()) {
    if (!OnPciBus(node)) continue;
    PciDeviceNode d;
    d.instanceId = InstanceIdOf(node);
    d.locationInformation = LocationInformationOf(node, d.instanceId);
    std::optional<DEVINST> parent = ParentOf(node);
    if (parent && OnPciBus(*parent))
      d.parentLocationInformation = LocationInformationOf(*parent, InstanceIdOf(*parent));
    devices.push_back(std::move(d));
  }
  return devices;
}

}  // namespace kestrune::platform::win32
