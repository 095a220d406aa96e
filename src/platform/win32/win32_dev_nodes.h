// Device-node lookups of the Windows backend through the configuration manager and SetupAPI: node
// properties, parents, instance ids, the registry's LocationInformation, the installed driver's
// version, the nodes of an interface or setup class, and the USB port chain above a disk.
#pragma once

#include <windows.h>
// The system headers below need the declarations of windows.h.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/device.h"

namespace kestrune::platform::win32 {

// Interface and setup classes the enumeration walks.
inline constexpr GUID kDiskInterface = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
inline constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
inline constexpr GUID kUsbHostControllerInterface = {
    0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};
inline constexpr GUID kScsiAdapterClass = {
    0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// An owned SetupAPI device information set.
class DeviceInfoSet {
 public:
  explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
  ~DeviceInfoSet() {
    if (ok()) SetupDiDestroyDeviceInfoList(set_);
  }
  DeviceInfoSet(const DeviceInfoSet&) = delete;
  DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
  bool ok() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
  HDEVINFO get() const { return set_; }

 private:
  HDEVINFO set_;
};

// A text property of a node (CM_DRP_FRIENDLYNAME, CM_DRP_DEVICEDESC, CM_DRP_SERVICE,
// CM_DRP_LOCATION_INFORMATION ...), UTF-8; empty when it has none.
std::string NodeText(DEVINST node, ULONG property);
std::optional<uint32_t> NodeNumber(DEVINST node, ULONG property);

std::string InstanceIdOf(DEVINST node);
std::optional<DEVINST> ParentOf(DEVINST node);
std::optional<DEVINST> LocateNode(const std::string& instanceId);

// Friendly name, else the description.
std::string NameOf(DEVINST node);

// The LocationInformation value of the node's key under SYSTEM\CurrentControlSet\Enum; the node's
// own location property when the key has none.
std::string LocationInformationOf(DEVINST node, const std::string& instanceId);

// The parent node of a disk as the disk list needs it: name, instance id, driver service, driver
// version, the registry's LocationInformation and the bus address.
ParentNode ParentNodeOf(DEVINST disk);

// The present nodes of an interface class (flags: present, device interface) or of a setup class
// (present), in the system's enumeration order.
std::vector<DEVINST> InterfaceNodes(const GUID& interfaceClass);
std::vector<DEVINST> SetupClassNodes(const GUID& setupClass);
// Every present node of every setup class.
std::vector<DEVINST> PresentNodes();

// Fills usbPorts and usbHostController of a disk behind USB: the port of the disk's USB device
// ("Port_#%d.Hub_#%d"), then the port of every hub above it up to the root hub, and the 1-based
// position of the root hub's host controller in the host-controller class. Leaves both empty when
// the chain cannot be read.
class UsbChainReader {
 public:
  void Fill(DEVINST disk, DiskNode& node);

 private:
  void Load();
  bool loaded_ = false;
  std::vector<DEVINST> usbDevices_;
  std::vector<DEVINST> hostControllers_;
};

}  // namespace kestrune::platform::win32
