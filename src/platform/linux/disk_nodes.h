// A disk of /sys/block as the device seam reports it: names, paths, size, bus type, SCSI address and
// the parent node.
//
// Bus types (the Windows numbering the inventory classifies by): NVMe namespaces 17; disks on libata
// (AHCI and other ATA host adapters) 11; USB disks 7; disks below a SAS transport 10; other SCSI
// disks (virtio-scsi, parallel SCSI) 1; SD/MMC cards 12; loop devices 15 (file-backed virtual);
// anything else, virtio block devices among them, 0.
//
// SCSI address of sd disks, from "host:channel:target:lun": scsiPort = host, targetId = target,
// lun = LUN and pathId = channel; on libata, whose channel is 0 except behind a port multiplier,
// pathId is the port of the ATA host instead: its 0-based port index (the "port_no" attribute less
// one), which on AHCI is the hardware port, the number Windows' AHCI driver reports and boards print
// beside the connector (SATA0, SATA1, ...). There, targetId = target + channel (the device behind a
// port multiplier or an IDE slave). NVMe namespaces have no SCSI address; their controllerPath is
// the controller node ("/dev/nvme0") that carries admin commands, and namespaceId is their NSID.
#pragma once

#include "platform/device.h"
#include "platform/linux/block_devices.h"
#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

inline constexpr uint32_t kBusSd = 12;
inline constexpr uint32_t kBusFileBackedVirtual = 15;

DiskNode DiskNodeOf(const SysRoot& sys, const BlockDisk& disk);

}  // namespace kestrune::platform::linux_dev
