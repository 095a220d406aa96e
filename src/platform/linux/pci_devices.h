// The PCI devices sysfs shows: the link attributes of a PCI Express function and, for every
// function, the bridge or root port above it.
#pragma once

#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

// The link of the PCI function at functionPath (its sysfs folder): the texts of current_link_speed
// and max_link_speed ("8.0 GT/s PCIe", "Unknown") and the numbers of current_link_width and
// max_link_width, as the kernel writes them. Empty when the folder is no PCI function or the
// function has no PCI Express link attributes.
PciLinkReport ReadPciLink(const SysRoot& sys, const std::string& functionPath);

// Every function of /sys/bus/pci/devices by its sysfs folder, with the location texts of itself and
// of the folder above it ("" when that is the host bridge's, not a PCI function).
std::vector<PciDeviceNode> ListPciDevices(const SysRoot& sys);

}  // namespace kestrune::platform::linux_dev
