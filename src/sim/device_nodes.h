// What the system reports about a simulated drive: its disk node with the parent controller, and
// its volume nodes. The parent's driver service and the bus type are those the inventory's
// classification expects for the drive's attachment.
#pragma once

#include <vector>

#include "platform/device.h"
#include "sim/lab_description.h"

namespace kestrune::sim {

platform::ParentNode ParentNodeFor(const DriveDescription& d);
platform::DiskNode DiskNodeFor(const DriveDescription& d);
// The drive's volumes; for a software RAID drive its one spanning volume.
std::vector<platform::VolumeNode> VolumeNodesFor(const DriveDescription& d);
// The PCI Express link of the drive's controller as the lab reports it: speeds in words ("8.0 GT/s"),
// empty for USB and RAID drives and where the lab file gives none.
platform::PciLinkReport PciLinkFor(const DriveDescription& d);
// The PCI devices of these drives: each controller once, with the root port above it, and those
// root ports (which have no PCI device above them).
std::vector<platform::PciDeviceNode> PciDeviceNodesFor(const std::vector<const DriveDescription*>& drives);
// Whether the parent is a SCSI adapter node (what the removal sweep sees): every controller but the
// USB mass-storage class driver's.
bool ParentIsAdapter(const DriveDescription& d);

}  // namespace kestrune::sim
