// The PCI Express link of a disk's controller and where the controller's upstream port is: the
// system's reports (DeviceTree::PciLink, DeviceTree::PciDevices) read by portable rules.
#pragma once

#include <cstdint>

#include "disk/disk_entry.h"
#include "platform/device.h"

namespace kestrune::disk {

// A PCI Express link: generation (1 = 2.5 GT/s, 2 = 5.0, 3 = 8.0, 4 = 16.0, 5 = 32.0, 6 = 64.0)
// and lane count; 0 when unknown.
struct PcieLink {
  uint32_t generation = 0;
  uint32_t width = 0;
  friend bool operator==(const PcieLink&, const PcieLink&) = default;
};

struct PciLinks {
  PcieLink current;
  PcieLink max;
  friend bool operator==(const PciLinks&, const PciLinks&) = default;
};

// The generation of a reported speed: words are read by the number before "GT/s" ("8.0 GT/s PCIe",
// "8 GT/s"), codes as the Link Status register's encoding (1 to 6). Anything else, "Unknown" and
// nothing at all give 0.
uint32_t GenerationOfSpeed(const platform::LinkSpeedReport& speed);

// The lane count of a reported width: 1, 2, 4, 8, 12, 16 and 32 as they are; anything else is
// unknown, 0 (Linux reports 255 for the width of a function without a link).
uint32_t LanesOfWidth(uint32_t width);

// PciLinkStatus: the current and maximum link of the entry's parent node (its controller), as the
// device tree reports it now; zeros where it reports nothing.
PciLinks PciLinkStatus(platform::DeviceTree& tree, const DiskEntry& entry);

// UpstreamPortLocation: the location (bus * 256 + device * 8 + function) of the PCI device above the
// PCI device at location, its bridge or root port; 0 when either is not found.
uint32_t UpstreamPortLocation(platform::DeviceTree& tree, uint32_t location);

}  // namespace kestrune::disk
