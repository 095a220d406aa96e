// What the system's own route carries in one firmware download piece of a disk. The download plan
// takes it as an input, so that a piece the system would refuse is never sent.
#pragma once

#include "disk/disk_entry.h"
#include "platform/device.h"

namespace kestrune::disk {

// Asked through a handle on the disk's NVMe path: on the inbox driver path, the payload limits of
// the firmware information query where the backend carries device-control requests; otherwise, and
// when the query fails, what the handle reports (Linux: the disk queue's max_hw_sectors_kb). An
// empty limit where the system says nothing.
platform::TransferLimit SystemFirmwareLimit(platform::Device& device, const DiskEntry& disk);

}  // namespace kestrune::disk
