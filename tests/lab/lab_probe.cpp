// lab_probe: drives the Linux device backend directly inside the qemu lab guest and prints what the
// drives answered, one "key: value" line each, for check_linux_backend.sh to compare with nvme-cli
// and smartctl. Built statically from the backend's own sources by that script; not part of the
// program or the unit tests.
//
// For every disk of the snapshot: its node data; SATA disks get IDENTIFY DEVICE as ATA
// PASS-THROUGH(16) over SG_IO (the SCSI primitive; the ATA primitive must say it does not exist on
// Linux), SMART RETURN STATUS (output registers of a non-data command), READ LOG EXT (which QEMU
// aborts: the error registers), INQUIRY through the SCSI
// primitive; NVMe disks get Identify Controller on the admin queue, Identify Namespace, a Read on the
// I/O queue and an opcode the controller does not know.
#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/linux_device_tree.h"
#include "platform/sat_cdb.h"

using namespace kestrune::platform;

namespace {

constexpr uint32_t kTimeout = 30;

std::string AtaString(const std::vector<uint8_t>& id, int firstWord, int words) {
  std::string s;
  for (int w = firstWord; w < firstWord + words; ++w) {
    s += static_cast<char>(id[2 * w + 1]);
    s += static_cast<char>(id[2 * w]);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

std::string Text(const std::vector<uint8_t>& d, size_t at, size_t n) {
  std::string s(reinterpret_cast<const char*>(d.data() + at), n);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

const char* StatusName(PassStatus s) {
  switch (s) {
    case PassStatus::kOk:
      return "ok";
    case PassStatus::kNotSupported:
      return "not-supported";
    case PassStatus::kFailed:
      return "failed";
    case PassStatus::kTimeout:
      return "timeout";
  }
  return "?";
}

// An ATA command as ATA PASS-THROUGH(16) through the SCSI primitive. The output registers come back
// in sense data; non-data commands ask for them (CK_COND) also on success, while libata reads them
// too early after PIO data-in and reports DRQ still set. GOOD without sense leaves "ready" (50h).
PassStatus SatAta(Device& d, AtaRegisters& regs, DataDirection direction, std::span<uint8_t> data) {
  const bool nonData = direction == DataDirection::kNone;
  const std::array<uint8_t, 16> cdb = AtaPassThrough16Cdb(regs, direction, nonData);
  ScsiResult result;
  const PassStatus s = d.Scsi(cdb, direction, data, kTimeout, result);
  if (s != PassStatus::kOk) return s;
  if (auto out = AtaRegistersFromSense(std::span<const uint8_t>(result.sense.data(), result.senseLength))) {
    regs = *out;
    return PassStatus::kOk;
  }
  if (result.status != 0) return PassStatus::kFailed;
  regs.command = 0x50;
  regs.features = 0;
  return PassStatus::kOk;
}

void ProbeSata(Device& d, const std::string& path) {
  AtaRegisters none;
  std::printf("%s ata-route: %s\n", path.c_str(), StatusName(d.Ata(none, DataDirection::kNone, {}, kTimeout)));

  std::vector<uint8_t> id(512);
  AtaRegisters r;
  r.command = 0xEC;
  r.count = 1;
  r.device = 0x40;
  PassStatus s = SatAta(d, r, DataDirection::kIn, id);
  std::printf("%s ata-identify: %s status=0x%02X error=0x%02X\n", path.c_str(), StatusName(s), r.command, r.features);
  if (s == PassStatus::kOk) {
    std::printf("%s ata-model: %s\n", path.c_str(), AtaString(id, 27, 20).c_str());
    std::printf("%s ata-serial: %s\n", path.c_str(), AtaString(id, 10, 10).c_str());
    std::printf("%s ata-firmware: %s\n", path.c_str(), AtaString(id, 23, 4).c_str());
  }

  AtaRegisters smart;
  smart.command = 0xB0;
  smart.features = 0xDA;
  smart.lbaMid = 0x4F;
  smart.lbaHigh = 0xC2;
  s = SatAta(d, smart, DataDirection::kNone, {});
  std::printf("%s ata-smart-status: %s status=0x%02X lbaMid=0x%02X lbaHigh=0x%02X\n", path.c_str(), StatusName(s),
              smart.command, smart.lbaMid, smart.lbaHigh);

  std::vector<uint8_t> log(512);
  AtaRegisters readLog;
  readLog.command = 0x2F;
  readLog.count = 1;
  readLog.extended = true;
  s = SatAta(d, readLog, DataDirection::kIn, log);
  std::printf("%s ata-read-log-ext: %s status=0x%02X error=0x%02X\n", path.c_str(), StatusName(s), readLog.command,
              readLog.features);

  std::vector<uint8_t> inquiry(36);
  const uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
  ScsiResult sr;
  s = d.Scsi(cdb, DataDirection::kIn, inquiry, kTimeout, sr);
  std::printf("%s scsi-inquiry: %s scsi-status=%u moved=%u vendor=%s product=%s\n", path.c_str(), StatusName(s),
              sr.status, sr.transferred, Text(inquiry, 8, 8).c_str(), Text(inquiry, 16, 16).c_str());
}

PassStatus Nvme(Device& d, NvmeQueue q, uint8_t opcode, uint32_t nsid, uint32_t cdw10, std::vector<uint8_t>& data,
                NvmeCompletion& c) {
  std::array<uint8_t, 64> entry{};
  entry[0] = opcode;
  for (int i = 0; i < 4; ++i) {
    entry[4 + i] = static_cast<uint8_t>(nsid >> (8 * i));
    entry[40 + i] = static_cast<uint8_t>(cdw10 >> (8 * i));
  }
  return d.Nvme(NvmeRoute::kInbox, q, entry, data.empty() ? DataDirection::kNone : DataDirection::kIn, data, kTimeout,
                c);
}

void ProbeNvme(Device& d, const std::string& path, uint32_t nsid) {
  std::vector<uint8_t> id(4096);
  NvmeCompletion c;
  PassStatus s = Nvme(d, NvmeQueue::kAdmin, 0x06, 0, 1, id, c);
  std::printf("%s nvme-identify-controller: %s status=0x%04X\n", path.c_str(), StatusName(s), c.status);
  if (s == PassStatus::kOk && c.status == 0) {
    std::printf("%s nvme-serial: %s\n", path.c_str(), Text(id, 4, 20).c_str());
    std::printf("%s nvme-model: %s\n", path.c_str(), Text(id, 24, 40).c_str());
    std::printf("%s nvme-firmware: %s\n", path.c_str(), Text(id, 64, 8).c_str());
  }
  std::vector<uint8_t> ns(4096);
  s = Nvme(d, NvmeQueue::kAdmin, 0x06, nsid, 0, ns, c);
  uint64_t nsze = 0;
  for (int i = 7; i >= 0; --i) nsze = nsze << 8 | ns[i];
  std::printf("%s nvme-identify-namespace: %s status=0x%04X nsze=%llu\n", path.c_str(), StatusName(s), c.status,
              static_cast<unsigned long long>(nsze));
  std::vector<uint8_t> block(*d.SectorSize());
  std::array<uint8_t, 64> read{};
  read[0] = 0x02;
  read[4] = static_cast<uint8_t>(nsid);
  s = d.Nvme(NvmeRoute::kInbox, NvmeQueue::kIo, read, DataDirection::kIn, block, kTimeout, c);
  std::printf("%s nvme-io-read: %s status=0x%04X\n", path.c_str(), StatusName(s), c.status);
  std::vector<uint8_t> none;
  s = Nvme(d, NvmeQueue::kAdmin, 0x10, 0, 0, none, c);  // Firmware Commit: QEMU 7.2 does not know it
  std::printf("%s nvme-unknown-opcode: %s status=0x%04X\n", path.c_str(), StatusName(s), c.status);
  s = d.Nvme(NvmeRoute::kRstMiniport, NvmeQueue::kAdmin, read, DataDirection::kNone, {}, kTimeout, c);
  std::printf("%s nvme-rst-route: %s\n", path.c_str(), StatusName(s));
}

}  // namespace

int main() {
  linux_dev::LinuxDeviceTree tree;
  DeviceSnapshot s = tree.Enumerate();
  for (const DiskNode& n : s.disks) {
    std::printf("%s node: bus=%u name=\"%s\" sector=%u bytes=%llu removable=%d scsi=%d:%u:%u:%u:%u ctrl=%s "
                "parent=\"%s\" driver=%s location=\"%s\" busAddress=0x%X usb=%zu\n",
                n.physicalPath.c_str(), n.busType, n.friendlyName.c_str(), n.sectorSize,
                static_cast<unsigned long long>(n.lengthBytes), n.removable, n.hasScsiAddress, n.scsiPort, n.pathId,
                n.targetId, n.lun, n.controllerPath.c_str(), n.parent.name.c_str(), n.parent.driverService.c_str(),
                n.parent.locationInformation.c_str(), n.parent.busAddress, n.usbPorts.size());
    std::unique_ptr<Device> d = tree.Open(n.physicalPath, OpenAccess::kReadWrite);
    if (!d) {
      std::printf("%s open: failed\n", n.physicalPath.c_str());
      continue;
    }
    std::printf("%s queries: length=%llu sector=%u write-cache=%d trim=%d\n", n.physicalPath.c_str(),
                static_cast<unsigned long long>(d->LengthBytes().value_or(0)), d->SectorSize().value_or(0),
                d->WriteCacheEnabled().value_or(false), d->TrimSupported().value_or(false));
    if (n.busType == bus::kNvme) {
      const size_t nAt = n.physicalPath.rfind('n');
      ProbeNvme(*d, n.physicalPath, static_cast<uint32_t>(std::stoul(n.physicalPath.substr(nAt + 1))));
    } else if (n.busType == bus::kSata || n.busType == bus::kUsb || n.busType == bus::kScsi) {
      ProbeSata(*d, n.physicalPath);
    }
  }
  for (const VolumeNode& v : s.volumes)
    std::printf("volume: %s on %s system=%d\n", v.letter.c_str(), v.path.c_str(), v.holdsSystem);
  for (const AdapterNode& a : s.adapters)
    std::printf("adapter: %s \"%s\" disks=%zu\n", a.instanceId.c_str(), a.description.c_str(),
                a.childDiskNumbers.size());
  return 0;
}
