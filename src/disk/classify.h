// Classification of a disk by the driver path its commands must take (DiskKind), and the parent
// controller data that goes with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "disk/bridge_probe.h"
#include "disk/disk_kind.h"
#include "platform/device.h"

namespace kestrune::disk {

struct Classification {
  DiskKind kind = DiskKind::kUnclassified;
  std::string controllerName;
  std::string controllerInstanceId;
  std::string driverService;
  std::string driverVersion;  // "%d.%d.%d.%d"
};

// The kind a bus type alone gives: SATA 1, SAS 2, NVMe 11, USB 21, anything else 0.
DiskKind KindOfBus(uint32_t busType);

// True for the driver service of the system's own NVMe driver: "stornvme" on Windows (any case);
// builds for other systems also take their kernel's "nvme" driver.
bool IsInboxNvmeService(std::string_view service);

// The four 16-bit parts of a driver version, most significant first, as "%d.%d.%d.%d".
std::string DriverVersionText(uint64_t version);

// Classifies a disk. The parent's driver service decides first (inbox NVMe driver -> 10 with the
// controller name "Standard NVM Express Controller"; RAID or NVMe bus with an "iaStor" service ->
// 12); a USB disk is probed through tree (its bridge signature, then Identify through the bridges);
// a fixed USB disk that the probe left at 13 or 21 and that answers IDENTIFY DEVICE through SCSI
// ATA pass-through with a model is a SATA disk behind a bridge (2).
Classification Classify(const platform::DiskNode& node, platform::DeviceTree& tree,
                        BridgeIdentifySender send = IdentifyThroughBridge);

}  // namespace kestrune::disk
