// What a simulated lab holds: its drives, how each is attached, its identity texts, its size, its
// SCSI/PCI/USB placement, its volumes and the failures injected into it. Built by the lab file
// parser (lab_file.h) or by code (tests, DefaultLab), and turned into a running lab by SimLab.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disk/disk_kind.h"
#include "sim/faults.h"
#include "sim/lab_file_server.h"
#include "sim/lab_files.h"
#include "sim/queue_model.h"

namespace kestrune::sim {

// How a drive reaches the host. Each attachment decides the bus type, the parent controller's
// driver service and the INQUIRY answer, so that the inventory's classification lands on the kind
// that ExpectedKind names.
enum class Attachment : uint8_t {
  kSataAhci,       // SATA on an AHCI port (kind 1)
  kSataSas,        // SATA on a SAS bus (kind 2)
  kSataUsb,        // SATA behind a USB-to-SATA bridge (kind 2)
  kNvmeInbox,      // NVMe on the system's own driver, service "stornvme" (kind 10)
  kNvmeCommunity,  // NVMe on the community miniport, service "nvmemini" (kind 11)
  kNvmeRst,        // NVMe behind Intel RST, service "iaStorAC" (kind 12)
  kUsbJmicron,     // NVMe behind the USB bridges (kinds 13-17)
  kUsbAsm2362,
  kUsbAsm2364,
  kUsbRtl9210B,
  kUsbRtl9210,
  kSoftwareRaid,  // a software RAID volume: a drive letter without a disk of its own (kind 20)
  kUsbFlash,      // other USB mass storage (kind 21)
};

// The kind the inventory's classification gives a drive on this attachment.
disk::DiskKind ExpectedKind(Attachment a);
// The lab file's spelling ("nvme-inbox", "usb-asm2364", ...).
std::string_view AttachmentName(Attachment a);
// A lab file spelling (case-insensitive) or a kind number ("2" is sata-sas); nullopt otherwise.
std::optional<Attachment> AttachmentByName(std::string_view name);

bool IsNvmeAttachment(Attachment a);     // NVMe drives, direct or behind a bridge
bool IsSataAttachment(Attachment a);     // drives that answer ATA commands
bool IsUsbAttachment(Attachment a);      // drives on the USB bus
bool IsPciNvmeAttachment(Attachment a);  // NVMe on a PCI controller (kinds 10-12)
bool HasPciController(Attachment a);     // drives whose parent is a PCI device (not USB, not RAID)

struct VolumeDescription {
  char letter = 'C';    // 'C' to 'Z'; C: makes its disk the system disk
  uint64_t offset = 0;  // byte offset of the partition on the disk
  uint64_t sizeBytes = 0;
  uint64_t freeBytes = 0;
  std::string imagePath;  // the volume's bytes come from this image file when the drive is made; "" none
};

// The standard INQUIRY identity: vendor (8), product (16) and revision (4) texts, and the two
// vendor-specific bytes 36 and 37 that the USB bridge probe reads.
struct InquiryIdentity {
  std::string vendor;
  std::string product;
  std::string revision;
  uint8_t byte36 = 0;
  uint8_t byte37 = 0;
};

inline constexpr uint16_t kSimPciVendorId = 0xCAFE;
// The IEEE OUI in the world wide name of the lab's maker SATA drives.
inline constexpr uint32_t kSimMakerOui = 0x00CAFE;

// The PCI Express link of a drive's controller as the lab reports it, and the root port above the
// controller. Speeds are tenths of GT/s (80 = 8.0 GT/s); 0 speeds and widths are not reported.
struct PcieDescription {
  uint32_t speedTenths = 0;
  uint32_t width = 0;
  uint32_t maxSpeedTenths = 0;
  uint32_t maxWidth = 0;
  std::optional<std::array<uint32_t, 3>> rootPort;  // (bus,device,function); none: no PCI device above
};

// An NVMe drive's firmware slots and what Identify Controller says about updates.
struct NvmeFirmwareDescription {
  uint8_t slots = 3;          // 1 to 7
  bool slot1ReadOnly = true;  // FRMW bit 0
  std::vector<std::string> revisions;  // slots 2 and up (slot 1 runs DriveDescription::firmware)
  uint8_t fwug = 0;   // granularity of download pieces, 4 KiB units (0, FFh: none)
  uint8_t mdts = 0;   // most bytes a transfer: 2^mdts x 4 KiB; 0 no limit
  uint16_t mtfa = 0;  // most time an activating commit takes, 100 ms units
  // What the system's route carries in one download, in bytes (0: it names no limit): the inbox
  // driver's firmware information answer, the handle's transfer limit on the other routes.
  uint32_t systemMaxTransfer = 0;
  uint32_t systemAlignment = 0;
};

// The maker's vendor command channel of an NVMe drive (answered only by drives with the lab's PCI
// vendor id and a controller id): which command set the controller speaks, and which page names it.
struct VendorDescription {
  uint16_t socId = 0;      // 0: no maker controller; vendor opcodes are invalid
  uint32_t variant = 1;    // 1 (FC/FD/FE), 192 (C0/C1/C2), 0 legacy opcodes
  bool configPage = true;  // names itself by its configuration page; false: by the drive-information page
  uint32_t aux = 0;        // the activation time hint of the drive-information page
  bool crc32c = true;      // the configuration block's CRC: CRC-32C, else CRC-32
  uint32_t brandNewPolls = 2;  // configuration page reads that show a factory reset in progress
  uint32_t crashDumpKiB = 10;  // the crash dump's sections together
  bool crashDumpLogPage = false;  // the dump comes through log page 07h, ReadBlock 8 is invalid
  uint32_t eventLogEntries = 300;  // the event log's entries
  enum class EventLog : uint8_t { kWritten, kNoHeader, kZero } eventLog = EventLog::kWritten;
};

// Which switch powers a drive: a port of the station's power hub (types 0 and 5 switch port 1
// only), or channel hubPort (default 1) of a USB relay board; and what goes wrong there.
struct PowerWiring {
  uint32_t hubPort = 0;    // 0: no hub port powers the drive
  std::string relayBoard;  // the serial number (at most 5 characters) of the relay board; empty: none
  bool noReply = false;    // the hub answers nothing
  bool badReply = false;   // the hub's answers are garbled
  bool busy = false;       // the hub's port is held by someone else: it does not open
  bool notBack = false;    // power on does not bring the drive back
};

struct DriveDescription {
  std::string name;  // the lab file section (names the drive in messages)
  Attachment attachment = Attachment::kNvmeInbox;
  uint32_t deviceNumber = 0;  // N of \\.\PHYSICALDRIVEN (unused for software RAID)
  std::string model;          // at most 40 characters
  std::string serial;         // at most 20
  std::string firmware;       // at most 8
  uint16_t pciVendorId = kSimPciVendorId;
  uint32_t wwnOui = 0;         // SATA: the OUI of the IDENTIFY world wide name; 0: made from the serial
  uint32_t sectorSize = 512;   // 512 or 4096
  uint64_t capacityBytes = 0;  // a whole number of sectors
  bool removable = false;
  bool writeCache = true;  // a volatile write cache in front of the media
  bool trimSupported = true;
  // What Identify promises a trimmed LBA reads (DLFEAT, IDENTIFY word 69): zeros, all FFh, or
  // (kOld) nothing. What it really reads is the fault plan's trimReads.
  FaultPlan::TrimRead trimPromise = FaultPlan::TrimRead::kZero;
  uint32_t scsiPort = 0;  // drives on one port share one parent controller
  uint32_t pathId = 0;    // the AHCI port of a SATA drive
  uint32_t targetId = 0;
  uint32_t lun = 0;
  uint32_t pciBus = 0, pciDevice = 0, pciFunction = 0;  // the controller's PCI location
  PcieDescription pcie;                                 // drives on a PCI controller only
  uint32_t namespaceId = 1;                             // NVMe: the NSID of the drive's one namespace
  uint32_t usbController = 1;                           // 1-based position of the USB host controller
  std::vector<uint32_t> usbPorts;  // the drive's own port first, then each hub's port above it
  InquiryIdentity inquiry;
  NvmeFirmwareDescription nvmeFirmware;
  VendorDescription vendor;
  std::vector<VolumeDescription> volumes;
  QueueModel queue;  // how fast queued requests complete
  FaultPlan faults;
  PowerWiring power;
};

struct LabDescription {
  std::vector<DriveDescription> drives;
  std::vector<FileFaults> files;  // faults of the file test commands' files ("[File:<name>]" sections)
  std::optional<LabFileServerDescription> fileServer;  // the "[FileServer]" section
};

// The INQUIRY identity a drive on this attachment gives: the bridge signatures for USB bridges
// (what the bridge probe looks for), "ATA"/"NVMe" and the model for drives on a host controller.
InquiryIdentity DefaultInquiry(Attachment a, std::string_view model, std::string_view firmware);

// The lab a new user gets: \\.\PHYSICALDRIVE0 an NVMe drive on the inbox driver (512-byte sectors,
// 4 GiB, PCI location (3,0,0)), \\.\PHYSICALDRIVE1 a SATA drive on AHCI port 2 that holds C:,
// \\.\PHYSICALDRIVE2 a SATA test drive without volumes (256 GiB, sparse) on AHCI port 3 of the same controller.
LabDescription DefaultLab();

// Checks what one drive cannot be on its own and what the drives cannot be together (sizes,
// texts, unique device numbers and letters, volumes inside their disk and apart, one controller
// kind per SCSI port). Empty when the lab is sound, else the first problem in words.
std::string ValidateLab(const LabDescription& lab);

// "\\.\PHYSICALDRIVE%d", "\\.\X:", "\\.\scsi%d:".
std::string PhysicalDrivePath(uint32_t deviceNumber);
std::string VolumePath(char letter);
std::string ScsiPortPath(uint32_t port);

}  // namespace kestrune::sim
