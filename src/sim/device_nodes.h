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
// Whether the parent is a SCSI adapter node (what the removal sweep sees): every controller but the
// USB mass-storage class driver's.
bool ParentIsAdapter(const DriveDescription& d);

}  // namespace kestrune::sim
