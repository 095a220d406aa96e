// The Identify summary: short key-and-value lines of the drive's identity, its namespace and the
// current disk, under stable keys that scripts read back or pick with the Items filter.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "devcmd/item_filter.h"
#include "devcmd/line_sink.h"
#include "disk/config_type.h"
#include "disk/pci_link.h"

namespace kestrune::devcmd {

using disk::PcieLink;

// What the summary shows of the current disk besides the drive's own pages.
struct IdentifyDiskFacts {
  bool writeCache = false;
  PcieLink maxLink;
  PcieLink currentLink;
  std::string physicalDrive;  // devicePath
  std::string cmdThrough;     // the driver path's name
  std::string portId;
  uint32_t socId = 0;
  uint32_t vendorVariant = 0;
  uint32_t configType = 9999;
  std::string originFw;
};

// "PCIE Gen3 Signaling Speed (8.0 GTps)" ...; generation 0 and 7 or more give "Unknow".
std::string_view PcieSpeedName(uint32_t generation);
// "ROM Disk", "FWCFG Programmer Disk", ...; the disk layer owns the names.
using disk::ConfigTypeName;

// The lines taken from Identify Controller (model, firmware, vendor ids, serial, namespaces, NQN).
void IdentifyControllerSummary(LineSink& sink, std::span<const uint8_t> controller, ItemCollector& items);
// The lines taken from Identify Namespace of the disk's namespace and from the current disk.
void IdentifyNamespaceSummary(LineSink& sink, std::span<const uint8_t> ns, const IdentifyDiskFacts& disk,
                              ItemCollector& items);

}  // namespace kestrune::devcmd
