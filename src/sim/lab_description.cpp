#include "sim/lab_description.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "base/text.h"
#include "sim/lab_values.h"

namespace kestrune::sim {
namespace {

struct AttachmentRow {
  Attachment attachment;
  std::string_view name;
  disk::DiskKind kind;
};

constexpr std::array<AttachmentRow, 13> kAttachments{{
    {Attachment::kSataAhci, "sata-ahci", disk::DiskKind::kAta},
    {Attachment::kSataSas, "sata-sas", disk::DiskKind::kUsbAta},
    {Attachment::kSataUsb, "sata-usb", disk::DiskKind::kUsbAta},
    {Attachment::kNvmeInbox, "nvme-inbox", disk::DiskKind::kNvm},
    {Attachment::kNvmeCommunity, "nvme-miniport", disk::DiskKind::kOfaNvm},
    {Attachment::kNvmeRst, "nvme-rst", disk::DiskKind::kIrstNvm},
    {Attachment::kUsbJmicron, "usb-jmicron", disk::DiskKind::kJmi},
    {Attachment::kUsbAsm2362, "usb-asm2362", disk::DiskKind::kAsm2362},
    {Attachment::kUsbAsm2364, "usb-asm2364", disk::DiskKind::kAsm2364},
    {Attachment::kUsbRtl9210B, "usb-rtl9210b", disk::DiskKind::kRtl9210B},
    {Attachment::kUsbRtl9210, "usb-rtl9210", disk::DiskKind::kRtl9210},
    {Attachment::kSoftwareRaid, "raid", disk::DiskKind::kRaid},
    {Attachment::kUsbFlash, "usb-flash", disk::DiskKind::kFlashDrive},
}};

const AttachmentRow& RowOf(Attachment a) {
  for (const auto& row : kAttachments) {
    if (row.attachment == a) return row;
  }
  return kAttachments[0];
}

bool PrintableAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::string Cut(std::string_view s, size_t n) { return std::string(s.substr(0, std::min(n, s.size()))); }

// Drives on one SCSI port hang below one controller; only these attachments put several drives
// below one controller (AHCI ports, SAS phys, RST's NVMe ports).
bool SharesPort(Attachment a) {
  return a == Attachment::kSataAhci || a == Attachment::kSataSas || a == Attachment::kNvmeRst;
}

// What the PCI Express link and root port of a drive cannot be; empty when they are sound.
std::string CheckPcie(const DriveDescription& d) {
  const PcieDescription& p = d.pcie;
  const bool given =
      p.speedTenths != 0 || p.width != 0 || p.maxSpeedTenths != 0 || p.maxWidth != 0 || p.rootPort;
  if (given && !HasPciController(d.attachment))
    return "USB and RAID drives have no PCI controller of their own";
  for (uint32_t speed : {p.speedTenths, p.maxSpeedTenths})
    if (speed != 0 && !IsLinkSpeedTenths(speed)) return "a link speed is 2.5, 5, 8, 16, 32 or 64 GT/s";
  for (uint32_t width : {p.width, p.maxWidth})
    if (width != 0 && !IsLinkWidth(width)) return "a link width is 1, 2, 4, 8, 12, 16 or 32 lanes";
  if (p.speedTenths > p.maxSpeedTenths || p.width > p.maxWidth)
    return "the link is faster or wider than its maximum";
  if (p.rootPort && ((*p.rootPort)[0] > 255 || (*p.rootPort)[1] > 31 || (*p.rootPort)[2] > 7))
    return "the root port is bus 0-255, device 0-31, function 0-7";
  return {};
}

std::string CheckDrive(const DriveDescription& d) {
  const std::string who = "drive [" + d.name + "]: ";
  if (d.sectorSize != 512 && d.sectorSize != 4096) return who + "the sector size must be 512 or 4096";
  if (d.attachment == Attachment::kSoftwareRaid && d.sectorSize != 512) {
    return who + "a software RAID volume has 512-byte sectors";
  }
  if (d.capacityBytes == 0 || d.capacityBytes % d.sectorSize != 0) {
    return who + "the capacity must be a non-zero whole number of sectors";
  }
  if (d.capacityBytes / d.sectorSize > (uint64_t{1} << 48)) return who + "the capacity exceeds 2^48 sectors";
  if (d.model.size() > 40 || !PrintableAscii(d.model))
    return who + "the model is at most 40 printable characters";
  if (d.serial.size() > 20 || !PrintableAscii(d.serial))
    return who + "the serial is at most 20 printable characters";
  if (d.firmware.size() > 8 || !PrintableAscii(d.firmware)) {
    return who + "the firmware revision is at most 8 printable characters";
  }
  if (d.inquiry.vendor.size() > 8 || d.inquiry.product.size() > 16 || d.inquiry.revision.size() > 4 ||
      !PrintableAscii(d.inquiry.vendor) || !PrintableAscii(d.inquiry.product) ||
      !PrintableAscii(d.inquiry.revision)) {
    return who + "the INQUIRY vendor, product and revision are at most 8, 16 and 4 printable characters";
  }
  if (IsUsbAttachment(d.attachment)) {
    if (d.usbPorts.empty() || d.usbPorts.size() > 4) return who + "a USB drive sits behind 1 to 4 ports";
    if (d.usbController < 1 || d.usbController > 99) return who + "the USB controller number is 1 to 99";
    for (uint32_t p : d.usbPorts) {
      if (p < 1 || p > 99) return who + "USB port numbers are 1 to 99";
    }
  }
  if (d.pciBus > 255 || d.pciDevice > 31 || d.pciFunction > 7) {
    return who + "the PCI location is bus 0-255, device 0-31, function 0-7";
  }
  if (std::string problem = CheckPcie(d); !problem.empty()) return who + problem;
  if (d.namespaceId == 0 || d.namespaceId == 0xFFFFFFFF) return who + "the namespace id is 1 to FFFFFFFEh";
  if (d.namespaceId != 1 && !IsPciNvmeAttachment(d.attachment))
    return who + "only NVMe drives on a PCI controller have a namespace id other than 1";
  if (d.attachment == Attachment::kSoftwareRaid) {
    if (d.volumes.size() != 1) return who + "a software RAID volume has exactly one drive letter";
    const VolumeDescription& v = d.volumes[0];
    if (v.offset != 0 || v.sizeBytes != d.capacityBytes)
      return who + "a software RAID volume spans the whole drive";
  }
  std::vector<VolumeDescription> sorted = d.volumes;
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });
  uint64_t end = 0;
  for (const VolumeDescription& v : sorted) {
    std::string vol = who + "volume " + std::string(1, v.letter) + ": ";
    if (v.letter < 'C' || v.letter > 'Z') return vol + "the drive letter must be C to Z";
    if (v.sizeBytes == 0 || v.sizeBytes % d.sectorSize != 0 || v.offset % d.sectorSize != 0) {
      return vol + "offset and size must be whole sectors, the size non-zero";
    }
    if (v.offset > d.capacityBytes || v.sizeBytes > d.capacityBytes - v.offset)
      return vol + "lies beyond the disk";
    if (v.freeBytes > v.sizeBytes) return vol + "has more free bytes than its size";
    if (v.offset < end) return vol + "overlaps another volume";
    end = v.offset + v.sizeBytes;
  }
  return {};
}

}  // namespace

disk::DiskKind ExpectedKind(Attachment a) { return RowOf(a).kind; }

std::string_view AttachmentName(Attachment a) { return RowOf(a).name; }

std::optional<Attachment> AttachmentByName(std::string_view name) {
  std::string_view text = base::Trim(name);
  for (const auto& row : kAttachments) {
    if (base::EqualsNoCase(text, row.name)) return row.attachment;
  }
  // Kind numbers name the first attachment of that kind (2: sata-sas).
  for (const auto& row : kAttachments) {
    if (text == std::to_string(static_cast<int>(row.kind))) return row.attachment;
  }
  return std::nullopt;
}

bool IsNvmeAttachment(Attachment a) { return disk::IsNvmeKind(ExpectedKind(a)); }
bool IsSataAttachment(Attachment a) { return disk::IsSataKind(ExpectedKind(a)); }
bool IsUsbAttachment(Attachment a) {
  return a == Attachment::kSataUsb || a == Attachment::kUsbFlash || disk::IsUsbBridgeNvme(ExpectedKind(a));
}
bool HasPciController(Attachment a) { return !IsUsbAttachment(a) && a != Attachment::kSoftwareRaid; }
bool IsPciNvmeAttachment(Attachment a) {
  return a == Attachment::kNvmeInbox || a == Attachment::kNvmeCommunity || a == Attachment::kNvmeRst;
}

InquiryIdentity DefaultInquiry(Attachment a, std::string_view model, std::string_view firmware) {
  // Drives on a host controller: the translation layer's "ATA"/"NVMe" vendor, the model's first 16
  // characters, and four characters of the firmware revision (its second half when that is not blank).
  std::string fw(firmware);
  fw.resize(8, ' ');
  std::string revision = base::Trim(fw.substr(4, 4)).empty() ? fw.substr(0, 4) : fw.substr(4, 4);
  revision = std::string(base::Trim(revision));
  switch (a) {
    case Attachment::kSataAhci:
    case Attachment::kSataSas:
      return {"ATA", Cut(model, 16), revision, 0, 0};
    case Attachment::kNvmeInbox:
    case Attachment::kNvmeCommunity:
    case Attachment::kNvmeRst:
      return {"NVMe", Cut(model, 16), revision, 0, 0};
    case Attachment::kSataUsb:
      return {"SIMBRDG", "USB SATA Bridge", "0100", 0x05, 0x21};
    case Attachment::kUsbJmicron:
      return {"JMicron", "Generic NVMe", "0204", 0x35, 0x35};
    case Attachment::kUsbAsm2362:
      return {"ASMT", "ASM2362 NVMe", "0100", 0x60, 0x23};
    case Attachment::kUsbAsm2364:
      return {"ASMT", "ASM2364 NVMe", "0100", 0x60, 0x23};
    case Attachment::kUsbRtl9210B:
      return {"Realtek", "RTL9210B NVME", "1.00", 0, 0};
    case Attachment::kUsbRtl9210:
      return {"Realtek", "RTL9210 NVME", "1.00", 0, 0};
    case Attachment::kUsbFlash:
      return {"Generic", "Flash Disk", "8.07", 0, 0};
    case Attachment::kSoftwareRaid:
      break;
  }
  return {};
}

LabDescription DefaultLab() {
  LabDescription lab;

  DriveDescription nvme;
  nvme.name = "NVMe0";
  nvme.attachment = Attachment::kNvmeInbox;
  nvme.deviceNumber = 0;
  nvme.model = "KESTRUNE SIM NVME 4G";
  nvme.serial = "SIMNVME0000000000001";
  nvme.firmware = "SIMN0100";
  nvme.sectorSize = 512;
  nvme.capacityBytes = uint64_t{4} << 30;
  nvme.scsiPort = 0;
  nvme.pciBus = 3;
  nvme.inquiry = DefaultInquiry(nvme.attachment, nvme.model, nvme.firmware);
  lab.drives.push_back(nvme);

  DriveDescription sata;
  sata.name = "SATA1";
  sata.attachment = Attachment::kSataAhci;
  sata.deviceNumber = 1;
  sata.model = "KESTRUNE SIM SATA 2G";
  sata.serial = "SIMSATA0000000000001";
  sata.firmware = "SIMS0100";
  sata.sectorSize = 512;
  sata.capacityBytes = uint64_t{2} << 30;
  sata.scsiPort = 1;
  sata.pathId = 2;
  sata.pciDevice = 23;
  sata.inquiry = DefaultInquiry(sata.attachment, sata.model, sata.firmware);
  VolumeDescription c;
  c.letter = 'C';
  c.offset = uint64_t{1} << 20;
  c.sizeBytes = sata.capacityBytes - c.offset;
  c.freeBytes = c.sizeBytes / 2;
  sata.volumes.push_back(c);
  lab.drives.push_back(sata);

  // A SATA drive without volumes on the same AHCI controller, for trying ATA writes.
  DriveDescription test;
  test.name = "SATA2";
  test.attachment = Attachment::kSataAhci;
  test.deviceNumber = 2;
  test.model = "KESTRUNE SIM SATA TEST 256G";
  test.serial = "SIMSATA0000000000002";
  test.firmware = "SIMS0100";
  test.sectorSize = 512;
  test.capacityBytes = uint64_t{256} << 30;  // sparse: past LBA 0x10000000, where the FUA writes are
  test.scsiPort = 1;
  test.pathId = 3;
  test.pciDevice = 23;
  test.inquiry = DefaultInquiry(test.attachment, test.model, test.firmware);
  lab.drives.push_back(test);
  return lab;
}

std::string ValidateLab(const LabDescription& lab) {
  std::set<uint32_t> numbers;
  std::set<char> letters;
  std::map<uint32_t, Attachment> portOwners;
  std::set<std::array<uint32_t, 4>> addresses;
  for (const DriveDescription& d : lab.drives) {
    std::string problem = CheckDrive(d);
    if (!problem.empty()) return problem;
    const std::string who = "drive [" + d.name + "]: ";
    for (const VolumeDescription& v : d.volumes) {
      if (!letters.insert(v.letter).second)
        return who + "drive letter " + std::string(1, v.letter) + ": is taken";
    }
    if (d.attachment == Attachment::kSoftwareRaid) continue;
    if (!numbers.insert(d.deviceNumber).second) {
      return who + "device number " + std::to_string(d.deviceNumber) + " is taken";
    }
    auto [owner, fresh] = portOwners.emplace(d.scsiPort, d.attachment);
    if (!fresh && (owner->second != d.attachment || !SharesPort(d.attachment))) {
      return who + "SCSI port " + std::to_string(d.scsiPort) + " belongs to another controller";
    }
    if (!addresses.insert({d.scsiPort, d.pathId, d.targetId, d.lun}).second) {
      return who + "the SCSI address is taken";
    }
  }
  return {};
}

std::string PhysicalDrivePath(uint32_t deviceNumber) {
  return "\\\\.\\PHYSICALDRIVE" + std::to_string(deviceNumber);
}

std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

std::string ScsiPortPath(uint32_t port) { return "\\\\.\\scsi" + std::to_string(port) + ":"; }

}  // namespace kestrune::sim
