// The device a disk hangs below, as sysfs shows it: the PCI function of its controller (NVMe, AHCI,
// SAS or other host adapters), or the USB device of a USB disk with its port chain.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device.h"
#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

// The folder of the nearest PCI function at or above a sysfs folder ("/sys/devices/pci0000:00/
// 0000:00:1f.2" for a disk below it); "" when there is none.
std::string PciFunctionAbove(std::string_view sysPath);

// What the PCI class code says a storage controller is: "NVM Express Controller", "SATA AHCI
// Controller", ...; "" for a class outside mass storage (01h).
std::string StorageClassDescription(uint32_t classCode);

// "PCI bus 3, device 0, function 0 (3,0,0)" for the function name "0000:03:00.0"; "" when the
// name is not a PCI address.
std::string PciLocationText(std::string_view functionName);

// The parent node of a PCI function: the class description as name, the sysfs folder as instance id,
// the bound driver as service, the location text, and the kernel release as driver version.
ParentNode PciParentNode(const SysRoot& sys, const std::string& functionPath);

// The kernel release ("6.1.0-18-amd64") packed as a driver version (6.1.0.18); 0 when unknown.
uint64_t KernelDriverVersion(const SysRoot& sys);

// A USB disk: the USB device it is, and where that device is plugged in.
struct UsbPlace {
  std::string devicePath;          // sysfs folder of the USB device ("/sys/devices/.../usb2/2-1.4")
  std::string interfacePath;       // its mass-storage interface ("/sys/devices/.../2-1.4:1.0")
  uint32_t bus = 0;                // the root hub's bus number
  std::vector<uint32_t> ports;     // the device's own port first, then each hub's port upwards
};

// The USB device above a sysfs folder; ports empty when the folder is not below a USB device.
UsbPlace UsbPlaceOf(std::string_view sysPath);

// The 1-based position of the host controller of a USB bus among the machine's USB host
// controllers (the USB 2 and USB 3 buses of one controller share it); the bus number when the
// controllers cannot be told.
uint32_t UsbHostControllerPosition(const SysRoot& sys, uint32_t bus);

// The parent node of a USB disk: the USB device's manufacturer and product as name ("USB Mass Storage
// Device" without them), its folder as instance id, the interface driver ("usb-storage", "uas") as
// service, "Port_#%04u.Hub_#%04u" (own port, bus) as location text and the own port as bus address.
ParentNode UsbParentNode(const SysRoot& sys, const UsbPlace& place);

}  // namespace kestrune::platform::linux_dev
