#include "sim/device_nodes.h"

#include "base/text.h"

namespace kestrune::sim {
namespace {

using base::Format;

uint64_t Version(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  return (static_cast<uint64_t>(a) << 48) | (static_cast<uint64_t>(b) << 32) |
         (static_cast<uint64_t>(c) << 16) | d;
}

// The LocationInformation text of a PCI device, as the PCI bus driver writes it.
std::string PciLocationText(uint32_t bus, uint32_t device, uint32_t function) {
  return Format("@System32\\drivers\\pci.sys,#65536;PCI bus %%1, device %%2, function %%3;(%u,%u,%u)", bus,
                device, function);
}

std::string PciLocationText(const DriveDescription& d) {
  return PciLocationText(d.pciBus, d.pciDevice, d.pciFunction);
}

std::string RootPortInstanceId(const std::array<uint32_t, 3>& at) {
  return Format("PCI\\VEN_%04X&DEV_7F00&SUBSYS_00000000&REV_01\\3&2C0FFEE&0&%02X%02X", kSimPciVendorId, at[0],
                at[1] * 8 + at[2]);
}

// "8.0 GT/s" for 80 tenths; "" for 0.
std::string SpeedText(uint32_t tenths) {
  return tenths == 0 ? std::string() : Format("%u.%u GT/s", tenths / 10, tenths % 10);
}

std::string PciInstanceId(const DriveDescription& d, uint16_t deviceId) {
  return Format("PCI\\VEN_%04X&DEV_%04X&SUBSYS_0001%04X&REV_01\\4&5E1A%04X&0&%02X%02X", d.pciVendorId,
                deviceId, d.pciVendorId, d.scsiPort, d.pciBus, d.pciDevice * 8 + d.pciFunction);
}

std::string UsbInstanceId(const DriveDescription& d) {
  return Format("USB\\VID_%04X&PID_%04X\\%s", d.pciVendorId,
                static_cast<unsigned>(ExpectedKind(d.attachment)), d.serial.c_str());
}

}  // namespace

platform::ParentNode ParentNodeFor(const DriveDescription& d) {
  platform::ParentNode p;
  const uint32_t ownUsbPort = d.usbPorts.empty() ? 0 : d.usbPorts.front();
  switch (d.attachment) {
    case Attachment::kSataAhci:
      p = {"Standard SATA AHCI Controller", PciInstanceId(d, 0xA0C1), "storahci",
           Version(10, 0, 19041, 1),        PciLocationText(d),       d.pathId << 16};
      break;
    case Attachment::kSataSas:
      p = {"Simulated SAS Host Bus Adapter",
           PciInstanceId(d, 0x5A50),
           "simsas",
           Version(2, 61, 0, 0),
           PciLocationText(d),
           d.pathId};
      break;
    case Attachment::kNvmeInbox:
      p = {"Standard NVM Express Controller", PciInstanceId(d, 0x1010), "stornvme",
           Version(10, 0, 19041, 1),          PciLocationText(d),       0};
      break;
    case Attachment::kNvmeCommunity:
      p = {"NVMe Miniport Controller", PciInstanceId(d, 0x1011), "nvmemini",
           Version(1, 5, 0, 0),        PciLocationText(d),       0};
      break;
    case Attachment::kNvmeRst:
      p = {"Intel(R) Chipset SATA/PCIe RST Premium Controller",
           PciInstanceId(d, 0x1012),
           "iaStorAC",
           Version(18, 7, 6, 1010),
           PciLocationText(d),
           0};
      break;
    case Attachment::kSataUsb:
    case Attachment::kUsbJmicron:
    case Attachment::kUsbAsm2362:
    case Attachment::kUsbAsm2364:
    case Attachment::kUsbRtl9210B:
    case Attachment::kUsbRtl9210:
      p = {"USB Attached SCSI (UAS) Mass Storage Device",
           UsbInstanceId(d),
           "UASPStor",
           Version(10, 0, 19041, 1),
           Format("Port_#%04u.Hub_#%04u", ownUsbPort, d.usbController),
           ownUsbPort};
      break;
    case Attachment::kUsbFlash:
      p = {"USB Mass Storage Device",
           UsbInstanceId(d),
           "USBSTOR",
           Version(10, 0, 19041, 1),
           Format("Port_#%04u.Hub_#%04u", ownUsbPort, d.usbController),
           ownUsbPort};
      break;
    case Attachment::kSoftwareRaid:
      break;
  }
  return p;
}

platform::DiskNode DiskNodeFor(const DriveDescription& d) {
  platform::DiskNode n;
  if (IsUsbAttachment(d.attachment)) {
    n.friendlyName = std::string(base::Trim(d.inquiry.vendor + " " + d.inquiry.product)) + " USB Device";
  } else {
    n.friendlyName = d.model;
  }
  n.deviceNumber = d.deviceNumber;
  n.physicalPath = PhysicalDrivePath(d.deviceNumber);
  n.lengthBytes = d.capacityBytes;
  n.sectorSize = d.sectorSize;
  n.hasScsiAddress = true;
  n.scsiPort = d.scsiPort;
  n.pathId = d.pathId;
  n.targetId = d.targetId;
  n.lun = d.lun;
  switch (d.attachment) {
    case Attachment::kSataAhci:
      n.busType = platform::bus::kSata;
      break;
    case Attachment::kSataSas:
      n.busType = platform::bus::kSas;
      break;
    case Attachment::kNvmeInbox:
    case Attachment::kNvmeCommunity:
      n.busType = platform::bus::kNvme;
      break;
    case Attachment::kNvmeRst:
      n.busType = platform::bus::kRaid;
      break;
    case Attachment::kSoftwareRaid:
      n.busType = platform::bus::kRaid;
      n.hasScsiAddress = false;
      break;
    default:
      n.busType = platform::bus::kUsb;
      break;
  }
  n.removable = d.removable;
  if (IsNvmeAttachment(d.attachment)) n.namespaceId = d.namespaceId;
  n.parent = ParentNodeFor(d);
  if (IsUsbAttachment(d.attachment)) {
    n.usbPorts = d.usbPorts;
    n.usbHostController = d.usbController;
  }
  return n;
}

std::vector<platform::VolumeNode> VolumeNodesFor(const DriveDescription& d) {
  std::vector<platform::VolumeNode> out;
  const bool raid = d.attachment == Attachment::kSoftwareRaid;
  for (const VolumeDescription& v : d.volumes) {
    platform::VolumeNode n;
    n.letter = std::string(1, v.letter) + ":";
    n.path = VolumePath(v.letter);
    n.onListedDisk = !raid;
    n.diskNumber = raid ? 0 : d.deviceNumber;
    n.softwareRaid = raid;
    n.totalBytes = v.sizeBytes;
    n.freeBytes = v.freeBytes;
    n.partitionOffset = v.offset;
    n.holdsSystem = v.letter == 'C';
    out.push_back(std::move(n));
  }
  return out;
}

platform::PciLinkReport PciLinkFor(const DriveDescription& d) {
  platform::PciLinkReport r;
  if (!HasPciController(d.attachment)) return r;
  r.currentSpeed.text = SpeedText(d.pcie.speedTenths);
  r.currentWidth = d.pcie.width;
  r.maxSpeed.text = SpeedText(d.pcie.maxSpeedTenths);
  r.maxWidth = d.pcie.maxWidth;
  return r;
}

std::vector<platform::PciDeviceNode> PciDeviceNodesFor(const std::vector<const DriveDescription*>& drives) {
  std::vector<platform::PciDeviceNode> nodes;
  auto add = [&nodes](platform::PciDeviceNode node) {
    for (const platform::PciDeviceNode& n : nodes)
      if (n.instanceId == node.instanceId) return;
    nodes.push_back(std::move(node));
  };
  for (const DriveDescription* d : drives) {
    if (!HasPciController(d->attachment)) continue;
    const std::optional<std::array<uint32_t, 3>>& root = d->pcie.rootPort;
    if (root) add({RootPortInstanceId(*root), PciLocationText((*root)[0], (*root)[1], (*root)[2]), ""});
    add({ParentNodeFor(*d).instanceId, PciLocationText(*d),
         root ? PciLocationText((*root)[0], (*root)[1], (*root)[2]) : ""});
  }
  return nodes;
}

bool ParentIsAdapter(const DriveDescription& d) {
  return d.attachment != Attachment::kUsbFlash && d.attachment != Attachment::kSoftwareRaid;
}

}  // namespace kestrune::sim
