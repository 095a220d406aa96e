// Lab file parser.
//
// A lab file is an INI file; every section describes one drive, in the order the drives are
// listed. The section name is free: it names the drive in messages and in SimLab::Drive. Sections
// named "[File:<name>]" are not drives: they hold the faults of the file test commands' file of that
// name (sim/lab_files.h: FullAt, ReadFailAt, FlipAt, FlipEveryRead, PieceDelayMs, CachedOnly), and
// "[FileServer]" is the lab's file server (sim/lab_file_server.h: Folder, Fault, FailAt, User,
// Password). Keys are
// matched without regard to case; an unknown key is an error (so that a typo does not go unseen).
//
// Identity and attachment
//   Attachment     Required. How the drive reaches the host, which decides its bus, its parent
//                  controller and driver, and the kind the inventory classifies it as:
//                    sata-ahci (1)     SATA on an AHCI port             parent service storahci
//                    sata-sas (2)      SATA on a SAS bus                parent service simsas
//                    sata-usb (2)      SATA behind a USB-SATA bridge    UASPStor, INQUIRY bytes 36/37 05h 21h
//                    nvme-inbox (10)   NVMe on the inbox driver         stornvme
//                    nvme-miniport (11) NVMe on the community miniport  nvmemini
//                    nvme-rst (12)     NVMe behind Intel RST            iaStorAC (bus RAID)
//                    usb-jmicron (13)  USB-NVMe bridges, told apart by  INQUIRY bytes 36/37 35h 35h
//                    usb-asm2362 (14)  their INQUIRY answer             60h 23h, product "ASM2362 NVMe"
//                    usb-asm2364 (15)                                   60h 23h, product "ASM2364 NVMe"
//                    usb-rtl9210b (16)                                  product "RTL9210B NVME"
//                    usb-rtl9210 (17)                                   product "RTL9210 NVME"
//                    raid (20)         a software RAID volume (a drive letter, no disk of its own)
//                    usb-flash (21)    other USB mass storage (removable by default)
//                  The kind number may be written instead of the name (2 means sata-sas).
//   Model          At most 40 characters; default "KESTRUNE SIM " and the section name.
//   Serial         At most 20 characters; default "SIM" and the device number, 20 characters.
//   Firmware       At most 8 characters; default "SIM10001".
//   VendorId       PCI vendor id reported by NVMe Identify Controller; default 0xCAFE.
//   WwnOui         SATA drives: the 24-bit IEEE OUI in the world wide name of IDENTIFY DEVICE (words
//                  108-109, hexadecimal with 0x); default one made from the serial number. With the
//                  lab's maker OUI 0x00CAFE the drive has the maker's SATA vendor channel.
//   DeviceNumber   The N of \\.\PHYSICALDRIVEN; default the lowest number not taken, in file order.
//   NamespaceId    NVMe drives on a PCI controller (nvme-inbox, nvme-miniport, nvme-rst): the NSID of
//                  the drive's one namespace, 1 to 0xFFFFFFFE; default 1. Identify Controller then
//                  counts that many namespaces, and only that NSID answers.
//
// Media
//   Capacity       Required. Bytes, or a number with KiB, MiB, GiB, TiB (binary) or KB, MB, GB, TB
//                  (decimal); a whole number of sectors.
//   SectorSize     512 (default) or 4096. A software RAID volume has 512-byte sectors.
//   Removable      Switch (1/0, yes/no, true/false, on/off); default on for usb-flash only.
//   WriteCache     Switch: a volatile write cache that flushes and FUA writes make durable and a
//                  power cut empties; default on.
//   Trim           Switch: trim/deallocate supported; default on, off for usb-flash.
//   TrimPromise    What the drive's identify data promises a trimmed LBA reads: zero (default), ff,
//                  or old (no promise). TrimReads says what it really reads.
//
// Placement
//   ScsiPort       The SCSI port (the N of \\.\scsiN:); default: sata-ahci drives share one port,
//                  every other drive gets a port of its own.
//   PathId, TargetId, Lun   The SCSI address on that port; default 0 (PathId: the next free one
//                  on a shared port).
//   AhciPort       The AHCI port of a sata-ahci drive (its PathId).
//   PciLocation    "(bus,device,function)" of the controller; default (3,0,0), (4,0,0), ... for the
//                  PCI NVMe drives in file order, (0,23,0) for AHCI, (1,0,0) for SAS. Not for USB.
//   UsbPort        USB drives only: "controller-port[-port...]" from the host controller down, the
//                  drive's own port last (1-4-3: controller 1, a hub on port 4, the drive on the
//                  hub's port 3); default controller 1 and the next free port.
//
// PCI Express (drives on a PCI controller; not for USB and RAID drives)
//   LinkSpeed      The controller's negotiated link speed in GT/s: 2.5, 5, 8, 16, 32 or 64 (also
//                  written "8.0" or "8.0 GT/s"); reported as the system words it ("8.0 GT/s").
//                  Default: none reported, which the program shows as an unknown link.
//   LinkWidth      Its negotiated lane count: 1, 2, 4, 8, 12, 16 or 32; default none reported.
//   MaxLinkSpeed, MaxLinkWidth   The most the link can do (same values); default the negotiated
//                  ones. A link is never faster or wider than its maximum.
//   RootPort       "(bus,device,function)" of the root port (or bridge) above the controller, the
//                  PCI device the controller's upstream port location names; default none.
//
// Volumes
//   Volumes        Drive letters on the disk, "D:, E:" (C: makes it the system disk). A raid
//                  drive has exactly one, spanning the drive.
//   Volume_X       (X a listed letter) "offset, size[, free]" of that volume (sizes as Capacity);
//                  default: the unplaced volumes share the disk from 1 MiB on (1 MiB aligned) in
//                  list order, and half of each volume is free.
//   VolumeImage_X  (X a listed letter) an image file of the volume's bytes (a file-system image, plain
//                  or gzip-compressed), copied onto the volume each time the drive is made; a path
//                  relative to the lab file's folder. The image may not be larger than the volume.
//
// Queued requests (the lab's queue, sim_queue.h; time is host time, so the virtual clock of tests)
//   QueueLatencyUs       Microseconds from issue to completion of every queued request; default 0
//                        (done at the next look).
//   QueueJitterUs        A random 0 to N microseconds more, drawn per request; default 0.
//   QueueIops            The most requests a second the drive serves over all its queues (later
//                        ones wait their turn); default 0, no ceiling.
//
// INQUIRY answer (defaults follow from the attachment)
//   InquiryVendor, InquiryProduct, InquiryRevision   at most 8, 16 and 4 characters
//   InquirySignature   bytes 36 and 37 as two hexadecimal numbers, e.g. "60 23"
//
// NVMe firmware (NVMe drives)
//   FirmwareSlots        Firmware slots, 1 to 7; default 3.
//   ReadOnlySlot1        Switch: slot 1 is read-only; default on.
//   SlotFirmware         Revisions of slots 2 and up, "REV2, REV3" (at most 8 characters each);
//                        default empty slots. Slot 1 runs Firmware.
//   Fwug                 Firmware update granularity in 4 KiB units (Identify byte 319); default 0.
//   Mdts                 Maximum data transfer size, 2^N x 4 KiB (Identify byte 77); default 0.
//   Mtfa                 Maximum time for firmware activation, 100 ms units; default 0.
//   FirmwareFailPiece    "N[=STATUS]" or "N=unplug": the Nth Firmware Image Download fails with
//                        STATUS (SCT << 8 | SC, default 0x0006) or pulls the drive.
//   FirmwareCommitStatus An activating commit completes with this status (0x010B, 0x0110,
//                        0x0111: committed, active after that reset; others, Do Not Retry
//                        (0x4000) included, fail with the image left in the slot).
//   FirmwareKeepsOld     Switch: an activation leaves the old firmware running.
//
// The maker's vendor channel (NVMe drives with the lab's VendorId, sim/nvme_vendor.cpp; SATA drives
// with WwnOui 0x00CAFE, sim/ata_vendor.cpp, which take SocId, ConfigCrc and BrandNewPolls)
//   SocId                The controller id the drive names (hexadecimal, 0x optional); default
//                        none: vendor opcodes are invalid commands.
//   VendorVariant        The vendor command set it speaks: 1 (FC/FD/FE, default), 192 (C0/C1/C2)
//                        or 0 (the legacy opcodes).
//   VendorPage           config (default): it names itself by its configuration page (log page E1h
//                        too on variant 1); drive-info: by its drive-information page.
//   VendorAux            The activation time hint of the drive-information page; default 0.
//   ConfigCrc            crc32c (default) or crc32: the CRC a configuration block write must carry.
//   BrandNewPolls        Configuration page reads that show a factory reset still running (byte 1
//                        FFh) after one; default 2; "never" keeps it running.
//   CrashDumpKiB         The crash dump's three sections together, in KiB; default 10 (at most
//                        6 GiB, so that the header's sizes can claim more than a dump may hold).
//   CrashDumpLogPage     Switch: the crash dump comes through log page 07h; ReadBlock 8 is invalid.
//   EventLog             The event log's entries (default 300, at most 1000000); "none": its first
//                        page has no header; "zero": a header naming 300 entries over zeros.
//
// Failure injection
//   FailOpen             Switch: opening the drive fails.
//   FailOpenCount        Only the next N opens fail (needs FailOpen).
//   FailRequests         Request kinds that fail: read, write, flush, trim, passthrough, or all.
//   FailRequestsCount    Only the next N such requests fail (needs FailRequests).
//   MediaErrors          LBAs (in sectors) that cannot be read: "100, 0x2000".
//   MediaErrorsCount     Those LBAs fail only their next N reads each, then read clean (transient;
//                        needs MediaErrors).
//   BitFlipReads         LBAs whose next read returns one bit flipped (the medium stays right).
//   BitFlipWrites        LBAs whose next write stores one bit flipped (every later read sees it).
//   LostWrites           LBAs whose next write reports success and stores nothing.
//   TornWrites           LBAs whose next write stores only its sectors before that LBA.
//   MisdirectedWrites    "LBA=LBA" items: the next write that covers the first lands shifted so that
//                        it covers the second; its own sectors keep their old data.
//   IgnoreFlush          Switch: flushes report success and leave the volatile cache as it is.
//   TrimReads            What a trimmed LBA reads back: zero (default), ff, or old (its old data).
//   PowerCutAfterRequests  The drive alone loses power after serving N requests: unflushed writes
//                        are lost but a random part of them, queued requests in flight fail (a
//                        write of them torn at a random sector), and every request fails until the
//                        power returns after ReturnAfter (without it, never).
//   PowerCutAfterMs      The same power cut N milliseconds (host time) after the lab starts.
//   Seed                 A number that makes every random choice of the injected faults (the
//                        power cut's, the lab queue's order and jitter) the same from run to run;
//                        default a seed from the host's random source.
//   ShortTransfer        read and/or write: requests move fewer bytes than asked, reporting success.
//   ShortTransferBytes   The most a short request moves (a size); default half the request.
//   Stall                Milliseconds (host time) each request waits before it runs.
//   StallRequests        The request kinds that stall; default all.
//   SlowEvery            Every Nth request (any kind, counted over the drive) is slow ...
//   SlowUs               ... by this many microseconds (queued requests complete later, others
//                        wait, in whole milliseconds). Each needs the other.
//   Unplugged            Switch: the drive is absent when the lab starts.
//   UnplugAfterRequests  The drive goes away after serving N requests.
//   ReturnAfter          Seconds (host time) after which an unplugged drive comes back (or the
//                        power of a cut drive returns); without it the drive stays away.
//   NvmeFailures         NVMe commands that complete with an error status instead of running:
//                        "[io:]OPCODE[=STATUS]" items, e.g. "0x06, 0x10=0x010B, io:0x09" (status
//                        SCT << 8 | SC, default 0x0006 Internal Error); admin queue unless "io:".
//   NvmeFailuresCount    Only the next N such commands fail (needs NvmeFailures).
//   AtaFailures          SATA drives: ATA commands that fail with an ERROR register value instead
//                        of running: "OPCODE[=ERROR]" items, e.g. "0xF4, 0x25=0x40" (default 04h
//                        ABRT), on every route.
//   AtaFailuresCount     Only the next N such commands fail (needs AtaFailures).
//   BridgeCheck          USB-NVMe bridges: phases that answer CHECK CONDITION: command, data,
//                        completion, single (the one-CDB forms), or all.
//   BridgeFail           Bridge phases whose requests fail outright (same words).
//   BridgeFailuresCount  Only the next N failing phases (needs BridgeCheck or BridgeFail).
//   PartitionToolExit    The partition tool ends with this exit code on the drive and changes nothing.
//   PartitionNoLetter    Switch: a partition create leaves its volumes without drive letters.
//   PartitionFormatFails Switch: a partition create writes the table, then formatting fails.
//
// Power hub and relay boards (the lab's peers of the station's power hub, sim/lab_hub.h)
//   HubPort        The hub port (1 to 255) that powers the drive; hub types 0 and 5 switch port 1.
//   RelayBoard     The serial number (1 to 5 characters) of a USB relay board whose channel
//                  HubPort (default 1) powers the drive; a board exists when a drive names it.
//   HubFault       What goes wrong on the hub: noreply (it answers nothing), badreply (garbled
//                  answers), busy (its port does not open), notback (power on leaves the drive
//                  away); a list of these.
#include "sim/lab_file.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <filesystem>
#include <set>

#include "base/text.h"
#include "platform/files.h"
#include "sim/lab_values.h"

namespace kestrune::sim {
namespace {

using base::EqualsNoCase;
using base::Format;

constexpr uint64_t kMiB = uint64_t{1} << 20;

const std::set<std::string, std::less<>> kKnownKeys = {
    "attachment",
    "model",
    "serial",
    "firmware",
    "vendorid",
    "wwnoui",
    "socid",
    "vendorvariant",
    "vendorpage",
    "vendoraux",
    "configcrc",
    "brandnewpolls",
    "crashdumpkib",
    "crashdumplogpage",
    "eventlog",
    "devicenumber",
    "capacity",
    "sectorsize",
    "removable",
    "writecache",
    "trim",
    "trimpromise",
    "scsiport",
    "pathid",
    "targetid",
    "lun",
    "ahciport",
    "pcilocation",
    "usbport",
    "namespaceid",
    "linkspeed",
    "linkwidth",
    "maxlinkspeed",
    "maxlinkwidth",
    "rootport",
    "volumes",
    "inquiryvendor",
    "inquiryproduct",
    "inquiryrevision",
    "inquirysignature",
    "failopen",
    "failopencount",
    "failrequests",
    "failrequestscount",
    "mediaerrors",
    "bitflipreads",
    "bitflipwrites",
    "mediaerrorscount",
    "lostwrites",
    "tornwrites",
    "misdirectedwrites",
    "ignoreflush",
    "trimreads",
    "powercutafterrequests",
    "powercutafterms",
    "seed",
    "shorttransfer",
    "shorttransferbytes",
    "stall",
    "stallrequests",
    "slowevery",
    "slowus",
    "queuelatencyus",
    "queuejitterus",
    "queueiops",
    "unplugged",
    "unplugafterrequests",
    "returnafter",
    "nvmefailures",
    "nvmefailurescount",
    "bridgecheck",
    "bridgefail",
    "bridgefailurescount",
    "firmwareslots",
    "readonlyslot1",
    "slotfirmware",
    "fwug",
    "mdts",
    "mtfa",
    "systemmaxtransfer",
    "systemalignment",
    "firmwarefailpiece",
    "firmwarecommitstatus",
    "firmwarekeepsold",
    "partitiontoolexit",
    "partitionnoletter",
    "partitionformatfails",
    "hubport",
    "relayboard",
    "hubfault",
};

// What the file set explicitly; the rest is filled in once every drive is read.
struct Given {
  bool deviceNumber = false;
  bool scsiPort = false;
  bool pathId = false;
  bool pciLocation = false;
  bool usbPort = false;
  bool serial = false;
  std::vector<char> unplacedVolumes;  // listed letters without a Volume_X key, in list order
};

class SectionReader {
 public:
  SectionReader(const base::IniFile& ini, std::string section) : ini_(ini), section_(std::move(section)) {}

  std::optional<std::string> Get(std::string_view key) const { return ini_.Get(section_, key); }

  // Records the first problem: "drive [S], Key = "value": reason".
  bool Fail(std::string_view key, std::string_view value, std::string_view reason) {
    if (error.empty()) {
      error = Format("drive [%s], %.*s = \"%.*s\": %.*s", section_.c_str(), static_cast<int>(key.size()),
                     key.data(), static_cast<int>(value.size()), value.data(),
                     static_cast<int>(reason.size()), reason.data());
    }
    return false;
  }

  // Reads key through parse when present; false (with the error set) when the value does not fit.
  template <typename T, typename Parse>
  bool Read(std::string_view key, T& out, Parse parse, std::string_view expected) {
    auto text = Get(key);
    if (!text) return true;
    auto value = parse(*text);
    if (!value) return Fail(key, *text, expected);
    out = static_cast<T>(*value);
    return true;
  }

  bool ReadNumber(std::string_view key, uint32_t& out, bool* given = nullptr) {
    auto text = Get(key);
    if (!text) return true;
    auto value = ParseNumber(*text);
    if (!value || *value > 0xFFFFFFFF)
      return Fail(key, *text, "not a number (decimal, or hexadecimal with 0x)");
    out = static_cast<uint32_t>(*value);
    if (given) *given = true;
    return true;
  }

  bool ReadSwitch(std::string_view key, bool& out) {
    return Read(key, out, ParseSwitch, "not a switch (1/0, yes/no, true/false, on/off)");
  }

  bool ReadText(std::string_view key, std::string& out, size_t limit) {
    auto text = Get(key);
    if (!text) return true;
    if (text->size() > limit) return Fail(key, *text, Format("longer than %zu characters", limit));
    out = *text;
    return true;
  }

  bool ReadKinds(std::string_view key, uint32_t& out) {
    return Read(key, out, ParseRequestKinds, "not a list of read, write, flush, trim, passthrough or all");
  }

  const std::string& section() const { return section_; }
  std::string error;

 private:
  const base::IniFile& ini_;
  std::string section_;
};

// "Volume_X" with a drive letter X.
bool IsVolumeKey(std::string_view key) {
  return key.size() == 8 && base::StartsWithNoCase(key, "volume_") &&
         ParseDriveLetter(key.substr(7)).has_value();
}

// "VolumeImage_X" with a drive letter X.
bool IsVolumeImageKey(std::string_view key) {
  return key.size() == 13 && base::StartsWithNoCase(key, "volumeimage_") &&
         ParseDriveLetter(key.substr(12)).has_value();
}

bool ReadIdentity(SectionReader& r, DriveDescription& d, Given& given) {
  auto attachment = r.Get("Attachment");
  if (!attachment) return r.Fail("Attachment", "", "missing (every drive needs its attachment)");
  auto a = AttachmentByName(*attachment);
  if (!a) {
    return r.Fail("Attachment", *attachment,
                  "not an attachment (sata-ahci, sata-sas, sata-usb, nvme-inbox, nvme-miniport, nvme-rst, "
                  "usb-jmicron, usb-asm2362, usb-asm2364, usb-rtl9210b, usb-rtl9210, raid, usb-flash)");
  }
  d.attachment = *a;
  d.model = std::string(base::Trim(("KESTRUNE SIM " + base::ToUpperAscii(r.section())).substr(0, 40)));
  d.firmware = "SIM10001";
  d.removable = d.attachment == Attachment::kUsbFlash;
  d.trimSupported = d.attachment != Attachment::kUsbFlash;
  given.serial = r.Get("Serial").has_value();
  uint32_t vendor = d.pciVendorId;
  bool ok = r.ReadText("Model", d.model, 40) && r.ReadText("Serial", d.serial, 20) &&
            r.ReadText("Firmware", d.firmware, 8) && r.ReadNumber("VendorId", vendor) &&
            r.ReadNumber("DeviceNumber", d.deviceNumber, &given.deviceNumber) && r.ReadNumber("WwnOui", d.wwnOui);
  if (!ok) return false;
  if (vendor > 0xFFFF) return r.Fail("VendorId", *r.Get("VendorId"), "more than 16 bits");
  if (r.Get("WwnOui") && (!IsSataAttachment(d.attachment) || d.wwnOui == 0 || d.wwnOui > 0xFFFFFF))
    return r.Fail("WwnOui", *r.Get("WwnOui"), "a non-zero 24-bit OUI of a SATA drive");
  d.pciVendorId = static_cast<uint16_t>(vendor);
  return true;
}

bool ReadMedia(SectionReader& r, DriveDescription& d) {
  auto capacity = r.Get("Capacity");
  if (!capacity) return r.Fail("Capacity", "", "missing (every drive needs its capacity)");
  bool ok = r.Read("Capacity", d.capacityBytes, ParseSize,
                   "not a size (bytes, or a number with KiB, MiB, GiB, TiB, KB, MB, GB or TB)") &&
            r.ReadNumber("SectorSize", d.sectorSize) && r.ReadSwitch("Removable", d.removable) &&
            r.ReadSwitch("WriteCache", d.writeCache) && r.ReadSwitch("Trim", d.trimSupported) &&
            r.Read("TrimPromise", d.trimPromise, ParseTrimRead, "not zero, ff or old");
  if (!ok) return false;
  if (d.sectorSize != 512 && d.sectorSize != 4096)
    return r.Fail("SectorSize", *r.Get("SectorSize"), "not 512 or 4096");
  if (d.capacityBytes == 0 || d.capacityBytes % d.sectorSize != 0) {
    return r.Fail("Capacity", *capacity,
                  Format("not a non-zero multiple of the sector size %u", d.sectorSize));
  }
  return true;
}

bool ReadPlacement(SectionReader& r, DriveDescription& d, Given& given) {
  bool ok = r.ReadNumber("ScsiPort", d.scsiPort, &given.scsiPort) &&
            r.ReadNumber("PathId", d.pathId, &given.pathId) && r.ReadNumber("TargetId", d.targetId) &&
            r.ReadNumber("Lun", d.lun);
  if (!ok) return false;
  if (auto ahci = r.Get("AhciPort")) {
    if (d.attachment != Attachment::kSataAhci)
      return r.Fail("AhciPort", *ahci, "only sata-ahci drives have one");
    if (!r.ReadNumber("AhciPort", d.pathId, &given.pathId)) return false;
  }
  if (auto pci = r.Get("PciLocation")) {
    if (IsUsbAttachment(d.attachment) || d.attachment == Attachment::kSoftwareRaid) {
      return r.Fail("PciLocation", *pci, "USB and RAID drives have no PCI controller of their own");
    }
    auto loc = ParsePciLocation(*pci);
    if (!loc) return r.Fail("PciLocation", *pci, "not (bus,device,function)");
    d.pciBus = (*loc)[0];
    d.pciDevice = (*loc)[1];
    d.pciFunction = (*loc)[2];
    given.pciLocation = true;
  }
  if (auto usb = r.Get("UsbPort")) {
    if (!IsUsbAttachment(d.attachment)) return r.Fail("UsbPort", *usb, "only USB drives have one");
    auto chain = ParseUsbChain(*usb);
    if (!chain) return r.Fail("UsbPort", *usb, "not controller-port[-port...]");
    d.usbController = chain->front();
    d.usbPorts.assign(chain->rbegin(), chain->rend() - 1);  // the drive's own port first
    given.usbPort = true;
  }
  return true;
}

bool ReadVolumes(SectionReader& r, DriveDescription& d, Given& given) {
  std::set<char> listed;
  if (auto text = r.Get("Volumes")) {
    for (std::string_view item : SplitList(*text)) {
      auto letter = ParseDriveLetter(item);
      if (!letter || *letter < 'C') return r.Fail("Volumes", *text, "not a list of drive letters C: to Z:");
      if (!listed.insert(*letter).second) return r.Fail("Volumes", *text, "a letter is listed twice");
      VolumeDescription v;
      v.letter = *letter;
      d.volumes.push_back(v);
    }
  }
  if (d.attachment == Attachment::kSoftwareRaid) {
    if (d.volumes.size() != 1)
      return r.Fail("Volumes", r.Get("Volumes").value_or(""), "a raid drive has one letter");
    d.volumes[0].sizeBytes = d.capacityBytes;
    d.volumes[0].freeBytes = d.capacityBytes / 2 / d.sectorSize * d.sectorSize;
  }
  for (VolumeDescription& v : d.volumes) {
    if (auto image = r.Get(std::string("VolumeImage_") + v.letter)) {
      if (base::Trim(*image).empty()) return r.Fail(std::string("VolumeImage_") + v.letter, *image, "no file named");
      v.imagePath = std::string(base::Trim(*image));
    }
    std::string key = std::string("Volume_") + v.letter;
    auto text = r.Get(key);
    if (!text) {
      if (d.attachment != Attachment::kSoftwareRaid) given.unplacedVolumes.push_back(v.letter);
      continue;
    }
    if (d.attachment == Attachment::kSoftwareRaid) return r.Fail(key, *text, "a raid volume spans its drive");
    std::vector<std::string_view> parts = SplitList(*text);
    std::vector<uint64_t> sizes;
    for (std::string_view p : parts) {
      auto size = ParseSize(p);
      if (!size) break;
      sizes.push_back(*size);
    }
    if (sizes.size() != parts.size() || sizes.size() < 2 || sizes.size() > 3) {
      return r.Fail(key, *text, "not offset, size[, free] (sizes in bytes or with KiB, MiB, GiB ...)");
    }
    v.offset = sizes[0];
    v.sizeBytes = sizes[1];
    v.freeBytes = sizes.size() == 3 ? sizes[2] : sizes[1] / 2 / d.sectorSize * d.sectorSize;
  }
  return true;
}

bool ReadInquiry(SectionReader& r, DriveDescription& d) {
  d.inquiry = DefaultInquiry(d.attachment, d.model, d.firmware);
  bool ok = r.ReadText("InquiryVendor", d.inquiry.vendor, 8) &&
            r.ReadText("InquiryProduct", d.inquiry.product, 16) &&
            r.ReadText("InquiryRevision", d.inquiry.revision, 4);
  if (!ok) return false;
  if (auto text = r.Get("InquirySignature")) {
    std::vector<uint8_t> bytes;
    for (std::string_view item : SplitList(*text, ' ')) {
      if (item.empty()) continue;
      std::string hex = base::StartsWithNoCase(item, "0x") ? std::string(item) : "0x" + std::string(item);
      auto v = ParseNumber(hex);
      if (!v || *v > 0xFF) return r.Fail("InquirySignature", *text, "not two hexadecimal bytes");
      bytes.push_back(static_cast<uint8_t>(*v));
    }
    if (bytes.size() != 2) return r.Fail("InquirySignature", *text, "not two hexadecimal bytes");
    d.inquiry.byte36 = bytes[0];
    d.inquiry.byte37 = bytes[1];
  }
  return true;
}

// The failures of NVMe and ATA commands and of bridge phases.
bool ReadCommandFaults(SectionReader& r, DriveDescription& d) {
  FaultPlan& f = d.faults;
  const char* phases = "not a list of command, data, completion, single or all";
  bool ok = r.Read("NvmeFailures", f.nvmeFailures, ParseNvmeFailures,
                   "not a list of [io:]OPCODE[=STATUS] (numbers decimal or 0x-hexadecimal)") &&
            r.ReadNumber("NvmeFailuresCount", f.nvmeFailuresCount) &&
            r.Read("AtaFailures", f.ataFailures, ParseAtaFailures,
                   "not a list of OPCODE[=ERROR] (numbers decimal or 0x-hexadecimal)") &&
            r.ReadNumber("AtaFailuresCount", f.ataFailuresCount) &&
            r.Read("BridgeCheck", f.bridgeCheckPhases, ParseBridgePhases, phases) &&
            r.Read("BridgeFail", f.bridgeFailPhases, ParseBridgePhases, phases) &&
            r.ReadNumber("BridgeFailuresCount", f.bridgeFailuresCount);
  if (!ok) return false;
  if (f.nvmeFailuresCount > 0 && f.nvmeFailures.empty())
    return r.Fail("NvmeFailuresCount", *r.Get("NvmeFailuresCount"), "needs NvmeFailures");
  if (f.ataFailuresCount > 0 && f.ataFailures.empty())
    return r.Fail("AtaFailuresCount", *r.Get("AtaFailuresCount"), "needs AtaFailures");
  if (!f.ataFailures.empty() && !IsSataAttachment(d.attachment))
    return r.Fail("AtaFailures", *r.Get("AtaFailures"), "only SATA drives take ATA commands");
  if (f.bridgeFailuresCount > 0 && f.bridgeCheckPhases == 0 && f.bridgeFailPhases == 0)
    return r.Fail("BridgeFailuresCount", *r.Get("BridgeFailuresCount"), "needs BridgeCheck or BridgeFail");
  const bool bridged = IsUsbAttachment(d.attachment) && IsNvmeAttachment(d.attachment);
  if ((f.bridgeCheckPhases != 0 || f.bridgeFailPhases != 0) && !bridged) {
    const char* key = f.bridgeCheckPhases != 0 ? "BridgeCheck" : "BridgeFail";
    return r.Fail(key, *r.Get(key), "only NVMe drives behind USB bridges have bridge phases");
  }
  if (!f.nvmeFailures.empty() && !IsNvmeAttachment(d.attachment))
    return r.Fail("NvmeFailures", *r.Get("NvmeFailures"), "only NVMe drives take NVMe commands");
  return true;
}

// The firmware slots of an NVMe drive and the injected failures of its updates.
bool ReadNvmeFirmware(SectionReader& r, DriveDescription& d) {
  NvmeFirmwareDescription& fw = d.nvmeFirmware;
  FaultPlan& f = d.faults;
  const bool any = r.Get("FirmwareSlots") || r.Get("ReadOnlySlot1") || r.Get("SlotFirmware") || r.Get("Fwug") ||
                   r.Get("Mdts") || r.Get("Mtfa") || r.Get("SystemMaxTransfer") || r.Get("SystemAlignment") ||
                   r.Get("FirmwareFailPiece") || r.Get("FirmwareCommitStatus") ||
                   r.Get("FirmwareKeepsOld");
  if (!any) return true;
  if (!IsNvmeAttachment(d.attachment)) return r.Fail("FirmwareSlots", "", "only NVMe drives have firmware slots");
  uint32_t slots = fw.slots, fwug = fw.fwug, mdts = fw.mdts, mtfa = fw.mtfa, commit = 0;
  bool ok = r.ReadNumber("FirmwareSlots", slots) && r.ReadSwitch("ReadOnlySlot1", fw.slot1ReadOnly) &&
            r.ReadNumber("Fwug", fwug) && r.ReadNumber("Mdts", mdts) && r.ReadNumber("Mtfa", mtfa) &&
            r.ReadNumber("FirmwareCommitStatus", commit) && r.ReadSwitch("FirmwareKeepsOld", f.firmwareKeepsOld) &&
            r.ReadNumber("SystemMaxTransfer", fw.systemMaxTransfer) && r.ReadNumber("SystemAlignment", fw.systemAlignment);
  if (!ok) return false;
  if (slots < 1 || slots > 7) return r.Fail("FirmwareSlots", *r.Get("FirmwareSlots"), "not 1 to 7");
  if (fwug > 0xFF) return r.Fail("Fwug", *r.Get("Fwug"), "more than 8 bits");
  if (mdts > 15) return r.Fail("Mdts", *r.Get("Mdts"), "more than 15");
  if (mtfa > 0xFFFF) return r.Fail("Mtfa", *r.Get("Mtfa"), "more than 16 bits");
  if (commit > 0x7FFF) return r.Fail("FirmwareCommitStatus", *r.Get("FirmwareCommitStatus"), "more than 15 bits");
  fw.slots = static_cast<uint8_t>(slots);
  fw.fwug = static_cast<uint8_t>(fwug);
  fw.mdts = static_cast<uint8_t>(mdts);
  fw.mtfa = static_cast<uint16_t>(mtfa);
  f.firmwareCommitStatus = static_cast<uint16_t>(commit);
  if (auto list = r.Get("SlotFirmware")) {
    for (std::string_view item : SplitList(*list)) {
      const std::string_view rev = base::Trim(item);
      if (rev.empty() || rev.size() > 8) return r.Fail("SlotFirmware", *list, "revisions of 1 to 8 characters");
      fw.revisions.emplace_back(rev);
    }
    if (fw.revisions.size() + 1 > fw.slots) return r.Fail("SlotFirmware", *list, "more revisions than slots 2 and up");
  }
  if (auto piece = r.Get("FirmwareFailPiece")) {
    const std::string_view text = *piece;
    const size_t eq = text.find('=');
    auto n = ParseNumber(base::Trim(text.substr(0, eq)));
    if (!n || *n == 0 || *n > 0xFFFFFFFF) return r.Fail("FirmwareFailPiece", text, "not N[=STATUS] or N=unplug");
    f.firmwareFailPiece = static_cast<uint32_t>(*n);
    if (eq != std::string_view::npos) {
      const std::string_view what = base::Trim(text.substr(eq + 1));
      if (EqualsNoCase(what, "unplug")) {
        f.firmwareFailUnplug = true;
      } else {
        auto status = ParseNumber(what);
        if (!status || *status == 0 || *status > 0x7FF)
          return r.Fail("FirmwareFailPiece", text, "not N[=STATUS] or N=unplug");
        f.firmwareFailStatus = static_cast<uint16_t>(*status);
      }
    }
  }
  return true;
}

// The faults of stored data, flushes, trims and power, and the seed of their random choices.
bool ReadDataFaults(SectionReader& r, DriveDescription& d) {
  FaultPlan& f = d.faults;
  uint32_t transientReads = 0;
  bool ok = r.ReadNumber("MediaErrorsCount", transientReads) && r.ReadSwitch("IgnoreFlush", f.ignoreFlush) &&
            r.Read("TrimReads", f.trimReads, ParseTrimRead, "not zero, ff or old") &&
            r.ReadNumber("PowerCutAfterRequests", f.powerCutAfterRequests) &&
            r.ReadNumber("PowerCutAfterMs", f.powerCutAfterMs) &&
            r.Read("Seed", f.seed, ParseNumber, "not a number (decimal, or hexadecimal with 0x)");
  if (!ok) return false;
  if (auto moves = r.Get("MisdirectedWrites")) {
    auto parsed = ParseLbaMoves(*moves, d.capacityBytes / d.sectorSize);
    if (!parsed) return r.Fail("MisdirectedWrites", *moves, "not a list of LBA=LBA (two different LBAs on the drive)");
    f.misdirectedWrites = std::move(*parsed);
  }
  if (transientReads > 0) {
    if (f.mediaErrorLbas.empty()) return r.Fail("MediaErrorsCount", *r.Get("MediaErrorsCount"), "needs MediaErrors");
    for (uint64_t lba : f.mediaErrorLbas) f.transientMediaErrors[lba] = transientReads;
    f.mediaErrorLbas.clear();
  }
  return true;
}

bool ReadFaults(SectionReader& r, DriveDescription& d) {
  FaultPlan& f = d.faults;
  uint32_t stall = 0;
  bool ok =
      r.ReadSwitch("FailOpen", f.failOpen) && r.ReadNumber("FailOpenCount", f.failOpenCount) &&
      r.ReadKinds("FailRequests", f.failRequests) && r.ReadNumber("FailRequestsCount", f.failRequestsCount) &&
      r.ReadKinds("ShortTransfer", f.shortTransfer) &&
      r.Read("ShortTransferBytes", f.shortTransferBytes, ParseSize, "not a size") &&
      r.ReadNumber("Stall", stall) && r.ReadKinds("StallRequests", f.stallRequests) &&
      r.ReadSwitch("Unplugged", f.unplugged) && r.ReadNumber("UnplugAfterRequests", f.unplugAfterRequests) &&
      r.ReadNumber("PartitionToolExit", f.partitionToolExit) &&
      r.ReadSwitch("PartitionNoLetter", f.partitionNoLetter) &&
      r.ReadSwitch("PartitionFormatFails", f.partitionFormatFails);
  if (!ok) return false;
  f.stallMs = stall;
  if (f.failOpenCount > 0 && !f.failOpen)
    return r.Fail("FailOpenCount", *r.Get("FailOpenCount"), "needs FailOpen = 1");
  if (f.failRequestsCount > 0 && f.failRequests == 0) {
    return r.Fail("FailRequestsCount", *r.Get("FailRequestsCount"), "needs FailRequests");
  }
  if (!r.ReadNumber("SlowEvery", f.slowEvery) || !r.ReadNumber("SlowUs", f.slowUs)) return false;
  if ((f.slowEvery == 0) != (f.slowUs == 0)) {
    const char* key = f.slowEvery == 0 ? "SlowUs" : "SlowEvery";
    return r.Fail(key, *r.Get(key), f.slowEvery == 0 ? "needs SlowEvery" : "needs SlowUs");
  }
  if (!ReadCommandFaults(r, d)) return false;
  if (!ReadNvmeFirmware(r, d)) return false;
  if ((f.shortTransfer & ~(request::kRead | request::kWrite)) != 0) {
    return r.Fail("ShortTransfer", *r.Get("ShortTransfer"), "only read and write move data");
  }
  if (auto text = r.Get("ReturnAfter")) {
    uint32_t seconds = 0;
    if (!r.ReadNumber("ReturnAfter", seconds)) return false;
    f.returnAfterSeconds = seconds;
  }
  const uint64_t sectors = d.capacityBytes / d.sectorSize;
  const struct {
    const char* key;
    std::set<uint64_t>& lbas;
  } lists[] = {{"MediaErrors", f.mediaErrorLbas}, {"BitFlipReads", f.bitFlipReads}, {"BitFlipWrites", f.bitFlipWrites},
               {"LostWrites", f.lostWrites}, {"TornWrites", f.tornWrites}};
  for (const auto& list : lists) {
    auto text = r.Get(list.key);
    if (!text) continue;
    for (std::string_view item : SplitList(*text)) {
      auto lba = ParseNumber(item);
      if (!lba || *lba >= sectors) return r.Fail(list.key, *text, "not a list of LBAs on the drive");
      list.lbas.insert(*lba);
    }
  }
  return ReadDataFaults(r, d);
}

// The PCI Express link and root port; the maximum link is the negotiated one unless given.
bool ReadPcie(SectionReader& r, DriveDescription& d) {
  PcieDescription& p = d.pcie;
  const char* speeds = "not a link speed (2.5, 5, 8, 16, 32 or 64 GT/s)";
  const char* widths = "not a link width (1, 2, 4, 8, 12, 16 or 32 lanes)";
  bool ok = r.Read("LinkSpeed", p.speedTenths, ParseLinkSpeed, speeds) &&
            r.Read("LinkWidth", p.width, ParseLinkWidth, widths) &&
            r.Read("MaxLinkSpeed", p.maxSpeedTenths, ParseLinkSpeed, speeds) &&
            r.Read("MaxLinkWidth", p.maxWidth, ParseLinkWidth, widths);
  if (!ok) return false;
  if (!r.Get("MaxLinkSpeed")) p.maxSpeedTenths = p.speedTenths;
  if (!r.Get("MaxLinkWidth")) p.maxWidth = p.width;
  if (auto root = r.Get("RootPort")) {
    auto loc = ParsePciLocation(*root);
    if (!loc) return r.Fail("RootPort", *root, "not (bus,device,function)");
    p.rootPort = *loc;
  }
  for (const char* key : {"LinkSpeed", "LinkWidth", "MaxLinkSpeed", "MaxLinkWidth", "RootPort"}) {
    auto text = r.Get(key);
    if (text && !HasPciController(d.attachment))
      return r.Fail(key, *text, "USB and RAID drives have no PCI controller of their own");
  }
  if (p.speedTenths > p.maxSpeedTenths || p.width > p.maxWidth) {
    const char* key = p.speedTenths > p.maxSpeedTenths ? "MaxLinkSpeed" : "MaxLinkWidth";
    return r.Fail(key, r.Get(key).value_or(""), "less than the negotiated link");
  }
  return true;
}

bool ReadNamespaceId(SectionReader& r, DriveDescription& d) {
  uint32_t nsid = d.namespaceId;
  if (!r.ReadNumber("NamespaceId", nsid)) return false;
  if (auto text = r.Get("NamespaceId")) {
    if (!IsPciNvmeAttachment(d.attachment))
      return r.Fail("NamespaceId", *text, "only NVMe drives on a PCI controller have one");
    if (nsid == 0 || nsid == 0xFFFFFFFF) return r.Fail("NamespaceId", *text, "not 1 to 0xFFFFFFFE");
  }
  d.namespaceId = nsid;
  return true;
}

bool ReadQueueModel(SectionReader& r, DriveDescription& d) {
  return r.ReadNumber("QueueLatencyUs", d.queue.latencyUs) &&
         r.ReadNumber("QueueJitterUs", d.queue.jitterUs) && r.ReadNumber("QueueIops", d.queue.iops);
}

bool ReadPowerWiring(SectionReader& r, DriveDescription& d) {
  PowerWiring& w = d.power;
  if (!r.ReadNumber("HubPort", w.hubPort)) return false;
  if (auto text = r.Get("HubPort"); text && (w.hubPort == 0 || w.hubPort > 255))
    return r.Fail("HubPort", *text, "not 1 to 255");
  if (!r.ReadText("RelayBoard", w.relayBoard, 5)) return false;
  if (auto text = r.Get("RelayBoard")) {
    if (w.relayBoard.empty()) return r.Fail("RelayBoard", *text, "empty");
    if (w.hubPort == 0) w.hubPort = 1;
    if (w.hubPort > 8) return r.Fail("HubPort", *r.Get("HubPort"), "a relay board has channels 1 to 8");
  }
  if (auto text = r.Get("HubFault")) {
    for (std::string_view item : SplitList(*text)) {
      if (EqualsNoCase(item, "noreply")) w.noReply = true;
      else if (EqualsNoCase(item, "badreply")) w.badReply = true;
      else if (EqualsNoCase(item, "busy")) w.busy = true;
      else if (EqualsNoCase(item, "notback")) w.notBack = true;
      else return r.Fail("HubFault", *text, "not a list of noreply, badreply, busy or notback");
    }
  }
  return true;
}

// The maker's vendor channel of an NVMe drive.
bool ReadVendor(SectionReader& r, DriveDescription& d) {
  VendorDescription& v = d.vendor;
  const bool any = r.Get("SocId") || r.Get("VendorVariant") || r.Get("VendorPage") || r.Get("VendorAux") ||
                   r.Get("ConfigCrc") || r.Get("BrandNewPolls") ||
                   r.Get("CrashDumpKiB") || r.Get("CrashDumpLogPage") || r.Get("EventLog");
  if (!any) return true;
  if (IsSataAttachment(d.attachment)) {
    if (d.wwnOui != kSimMakerOui) return r.Fail("SocId", "", "only SATA drives with WwnOui 0x00CAFE answer it");
  } else if (!IsNvmeAttachment(d.attachment)) {
    return r.Fail("SocId", "", "only NVMe and SATA drives have the vendor channel");
  } else if (d.pciVendorId != kSimPciVendorId) {
    return r.Fail("SocId", "", "only drives with the lab's VendorId answer it");
  }
  if (auto soc = r.Get("SocId")) {
    std::string text(base::Trim(*soc));
    if (base::StartsWithNoCase(text, "0x")) text = text.substr(2);
    char* end = nullptr;
    const unsigned long id = std::strtoul(text.c_str(), &end, 16);
    if (text.empty() || *end != '\0' || id == 0 || id > 0xFFFF) return r.Fail("SocId", *soc, "a non-zero 16-bit hex id");
    v.socId = static_cast<uint16_t>(id);
  }
  if (!r.ReadNumber("VendorVariant", v.variant) || !r.ReadNumber("VendorAux", v.aux)) return false;
  if (v.variant != 0 && v.variant != 1 && v.variant != 192) return r.Fail("VendorVariant", *r.Get("VendorVariant"), "not 0, 1 or 192");
  if (auto page = r.Get("VendorPage")) {
    if (base::EqualsNoCase(base::Trim(*page), "config")) v.configPage = true;
    else if (base::EqualsNoCase(base::Trim(*page), "drive-info")) v.configPage = false;
    else return r.Fail("VendorPage", *page, "config or drive-info");
  }
  if (auto crc = r.Get("ConfigCrc")) {
    if (base::EqualsNoCase(base::Trim(*crc), "crc32c")) v.crc32c = true;
    else if (base::EqualsNoCase(base::Trim(*crc), "crc32")) v.crc32c = false;
    else return r.Fail("ConfigCrc", *crc, "crc32c or crc32");
  }
  if (auto polls = r.Get("BrandNewPolls"); polls && base::EqualsNoCase(base::Trim(*polls), "never")) {
    v.brandNewPolls = UINT32_MAX;
  } else if (!r.ReadNumber("BrandNewPolls", v.brandNewPolls)) {
    return false;
  }
  if (!r.ReadNumber("CrashDumpKiB", v.crashDumpKiB) || !r.ReadSwitch("CrashDumpLogPage", v.crashDumpLogPage)) return false;
  if (v.crashDumpKiB == 0 || v.crashDumpKiB > (6u << 20))
    return r.Fail("CrashDumpKiB", *r.Get("CrashDumpKiB"), "1 to 6291456");
  if (auto log = r.Get("EventLog"); log && base::EqualsNoCase(base::Trim(*log), "none")) {
    v.eventLog = VendorDescription::EventLog::kNoHeader;
  } else if (log && base::EqualsNoCase(base::Trim(*log), "zero")) {
    v.eventLog = VendorDescription::EventLog::kZero;
  } else if (!r.ReadNumber("EventLog", v.eventLogEntries)) {
    return false;
  } else if (v.eventLogEntries > 1000000) {
    return r.Fail("EventLog", *log, "a number of entries up to 1000000, none or zero");
  }
  return true;
}

bool ReadDrive(SectionReader& r, DriveDescription& d, Given& given) {
  return ReadIdentity(r, d, given) && ReadMedia(r, d) && ReadPlacement(r, d, given) && ReadPcie(r, d) &&
         ReadNamespaceId(r, d) && ReadVolumes(r, d, given) && ReadInquiry(r, d) && ReadQueueModel(r, d) &&
         ReadFaults(r, d) && ReadPowerWiring(r, d) && ReadVendor(r, d);
}

// The lowest number from `from` on that is not in taken; it is added to taken.
uint32_t TakeFree(std::set<uint32_t>& taken, uint32_t from = 0) {
  uint32_t n = from;
  while (taken.count(n)) ++n;
  taken.insert(n);
  return n;
}

// Fills what the file left open: device numbers, SCSI ports and path ids, PCI locations, USB
// ports, serial numbers and the places of unplaced volumes.
std::string AssignDefaults(LabDescription& lab, const std::vector<Given>& given) {
  std::set<uint32_t> numbers, ports, buses, usbPorts;
  for (size_t i = 0; i < lab.drives.size(); ++i) {
    const DriveDescription& d = lab.drives[i];
    if (given[i].deviceNumber) numbers.insert(d.deviceNumber);
    if (given[i].scsiPort) ports.insert(d.scsiPort);
    if (given[i].pciLocation) buses.insert(d.pciBus);
    if (given[i].usbPort && d.usbController == 1 && d.usbPorts.size() == 1) usbPorts.insert(d.usbPorts[0]);
  }
  std::optional<uint32_t> ahciPort;
  std::map<uint32_t, std::set<uint32_t>> pathIdsOnPort;
  for (size_t i = 0; i < lab.drives.size(); ++i) {
    if (given[i].pathId && given[i].scsiPort)
      pathIdsOnPort[lab.drives[i].scsiPort].insert(lab.drives[i].pathId);
  }
  for (size_t i = 0; i < lab.drives.size(); ++i) {
    DriveDescription& d = lab.drives[i];
    const Given& g = given[i];
    if (d.attachment == Attachment::kSoftwareRaid) {
      if (!g.serial) d.serial = Format("SIMRAID%c", d.volumes[0].letter);
      continue;
    }
    if (!g.deviceNumber) d.deviceNumber = TakeFree(numbers);
    if (!g.serial) d.serial = Format("SIM%017u", d.deviceNumber);
    if (!g.scsiPort) {
      if (d.attachment == Attachment::kSataAhci && ahciPort) {
        d.scsiPort = *ahciPort;
      } else {
        d.scsiPort = TakeFree(ports);
      }
      if (d.attachment == Attachment::kSataAhci && !ahciPort) ahciPort = d.scsiPort;
    }
    if (!g.pathId) {
      d.pathId = TakeFree(pathIdsOnPort[d.scsiPort]);
    } else if (!g.scsiPort) {
      pathIdsOnPort[d.scsiPort].insert(d.pathId);
    }
    if (!g.pciLocation) {
      if (IsPciNvmeAttachment(d.attachment)) {
        d.pciBus = TakeFree(buses, 3);
      } else if (d.attachment == Attachment::kSataAhci) {
        d.pciDevice = 23;
      } else if (d.attachment == Attachment::kSataSas) {
        d.pciBus = 1;
      }
    }
    if (IsUsbAttachment(d.attachment) && !g.usbPort) {
      d.usbController = 1;
      d.usbPorts = {TakeFree(usbPorts, 1)};
    }
    // Unplaced volumes share what follows the last volume before them, from 1 MiB on.
    uint64_t cursor = kMiB;
    size_t unplacedLeft = g.unplacedVolumes.size();
    for (VolumeDescription& v : d.volumes) {
      const bool unplaced =
          std::find(g.unplacedVolumes.begin(), g.unplacedVolumes.end(), v.letter) != g.unplacedVolumes.end();
      if (!unplaced) {
        cursor = std::max(cursor, (v.offset + v.sizeBytes + kMiB - 1) / kMiB * kMiB);
        continue;
      }
      uint64_t room = d.capacityBytes > cursor ? d.capacityBytes - cursor : 0;
      uint64_t size = room / unplacedLeft / kMiB * kMiB;
      if (size == 0) return Format("drive [%s]: no room for volume %c:", d.name.c_str(), v.letter);
      v.offset = cursor;
      v.sizeBytes = size;
      v.freeBytes = size / 2;
      cursor += size;
      --unplacedLeft;
    }
  }
  return {};
}

}  // namespace

LabFileResult ParseLab(const base::IniFile& ini) {
  LabFileResult result;
  LabDescription lab;
  std::vector<Given> given;
  for (const std::string& section : ini.Sections()) {
    if (IsFileFaultsSection(section) || IsFileServerSection(section)) continue;
    SectionReader reader(ini, section);
    for (const std::string& key : ini.Keys(section)) {
      if (!kKnownKeys.count(base::ToLowerAscii(key)) && !IsVolumeKey(key) && !IsVolumeImageKey(key)) {
        result.error = Format("drive [%s]: unknown key %s", section.c_str(), key.c_str());
        return result;
      }
    }
    DriveDescription d;
    d.name = section;
    Given g;
    if (!ReadDrive(reader, d, g)) {
      result.error = reader.error;
      return result;
    }
    for (const std::string& key : ini.Keys(section)) {
      if (!IsVolumeKey(key) && !IsVolumeImageKey(key)) continue;
      char letter = *ParseDriveLetter(key.substr(IsVolumeKey(key) ? 7 : 12));
      bool listed =
          std::any_of(d.volumes.begin(), d.volumes.end(), [&](const auto& v) { return v.letter == letter; });
      if (!listed) {
        result.error =
            Format("drive [%s]: %s names a letter that Volumes does not list", section.c_str(), key.c_str());
        return result;
      }
    }
    lab.drives.push_back(std::move(d));
    given.push_back(std::move(g));
  }
  if (lab.drives.empty()) {
    result.error = "the lab has no drives (one section per drive)";
    return result;
  }
  FileFaultsResult files = ParseFileFaults(ini);
  if (!files.error.empty()) {
    result.error = files.error;
    return result;
  }
  lab.files = std::move(files.rules);
  lab.fileServer = ParseLabFileServer(ini, result.error);
  if (!result.error.empty()) return result;
  result.error = AssignDefaults(lab, given);
  if (result.error.empty()) result.error = ValidateLab(lab);
  if (result.error.empty()) result.lab = std::move(lab);
  return result;
}

LabFileResult LoadLabFile(const std::string& path) {
  auto ini = base::IniFile::Load(path);
  if (!ini) return {std::nullopt, "cannot read the lab file " + path};
  LabFileResult result = ParseLab(*ini);
  if (!result.error.empty()) result.error = path + ": " + result.error;
  // Volume images are named relative to the lab file.
  if (result.lab) {
    const std::filesystem::path folder = platform::FsPath(path).parent_path();
    if (result.lab->fileServer && !result.lab->fileServer->folder.empty() &&
        !platform::FsPath(result.lab->fileServer->folder).is_absolute())
      result.lab->fileServer->folder = platform::Utf8Path(folder / platform::FsPath(result.lab->fileServer->folder));
    for (DriveDescription& d : result.lab->drives) {
      for (VolumeDescription& v : d.volumes) {
        if (!v.imagePath.empty() && !platform::FsPath(v.imagePath).is_absolute())
          v.imagePath = platform::Utf8Path(folder / platform::FsPath(v.imagePath));
      }
    }
  }
  return result;
}

}  // namespace kestrune::sim
