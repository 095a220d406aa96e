#include "sim/device_nodes.h"

#include "engine/text.h"

namespace kestrune::sim {
namespace {

using engine::Format;

uint64_t Version(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  return (static_cast<uint64_t>(a) << 48) | (static_cast<uint64_t>(b) << 32) |
         (static_cast<uint64_t>(c) << 16) | d;
}

// The LocationInformation text of a PCI device, as the PCI bus driver writes it.
std::string PciLocationText(const DriveDescription& d) {
  return Format("@System32\\drivers\\pci.sys,#65536;PCI bus %%1, device %%2, function %%3;(%u,%u,%u)",
                d.pciBus, d.pciDevice, d.pciFunction);
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
    n.friendlyName = std::string(engine::Trim(d.inquiry.vendor + " " + d.inquiry.product)) + " USB Device";
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

bool ParentIsAdapter(const DriveDescription& d) {
  return d.attachment != Attachment::kUsbFlash && d.attachment != Attachment::kSoftwareRaid;
}

}  // namespace kestrune::sim
