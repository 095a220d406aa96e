#include "disk/disk_list.h"

#include <optional>

#include "base/text.h"
#include "base/unicode.h"
#include "disk/classify.h"
#include "disk/identify_probe.h"
#include "disk/location.h"
#include "engine/output.h"

namespace kestrune::disk {
namespace {

constexpr size_t kNameChars = 127;  // model and display name
constexpr size_t kFirmwareChars = 15;
constexpr uint32_t kRaidSectorSize = 512;
constexpr std::string_view kSoftwareRaidName = "Windows SW RAID";

std::string Cut(std::string_view text, size_t chars) { return std::string(base::CutChars(text, chars)); }

DiskEntry SoftwareRaidEntry(const platform::VolumeNode& volume) {
  DiskEntry e;
  e.model = e.displayName = e.controllerName = std::string(kSoftwareRaidName);
  e.devicePath = e.physicalPath = e.volumePath = volume.path;
  e.volumeLetters = volume.letter + " ";
  e.busType = platform::bus::kRaid;
  e.diskKind = DiskKind::kRaid;
  e.usableBytes = e.totalBytes = volume.totalBytes;
  e.sectorSize = kRaidSectorSize;
  e.raw = false;
  e.systemDisk = volume.holdsSystem;
  return e;
}

// Model, firmware and vendor id from the drive's own identify data, when it answers.
void ApplyIdentify(platform::DeviceTree& tree, DiskEntry& e) {
  std::optional<DriveIdentity> id = IdentifyDrive(tree, e);
  if (!id) return;
  e.identifyAnswered = true;
  e.firmwareRevision = e.currentFirmware = Cut(id->firmware, kFirmwareChars);
  e.serial = id->serial;
  if (IsNvmeKind(e.diskKind)) e.pciVendorId = id->pciVendorId;
  if (IsSataKind(e.diskKind)) e.wwnOui = id->wwnOui;
  if (!id->model.empty()) e.model = e.displayName = Cut(id->model, kNameChars);
}

}  // namespace

DiskEntry EntryFromNode(const platform::DiskNode& node, platform::DeviceTree& tree) {
  DiskEntry e;
  e.model = e.displayName = Cut(node.friendlyName, kNameChars);
  e.deviceNumber = node.deviceNumber;
  e.devicePath = e.physicalPath = node.physicalPath;
  e.controllerPath = node.controllerPath;
  if (node.namespaceId != 0) e.namespaceId = node.namespaceId;
  e.usableBytes = e.totalBytes = node.lengthBytes;
  if (node.hasScsiAddress) {
    e.scsiPortPath = base::Format("\\\\.\\scsi%u:", node.scsiPort);
    e.pathId = node.pathId;
    e.targetLun = node.targetId * 100 + node.lun;
  }
  e.busType = node.busType;
  e.removable = node.removable;
  Classification c = Classify(node, tree);
  e.diskKind = c.kind;
  e.controllerName = Cut(c.controllerName, kNameChars);
  e.controllerInstanceId = c.controllerInstanceId;
  e.driverService = c.driverService;
  e.driverVersion = c.driverVersion;
  e.location = LocationOf(node, c.kind);
  e.raw = true;
  e.sectorSize = node.sectorSize;
  return e;
}

DiskEntry VolumeEntry(const DiskEntry& disk, const platform::VolumeNode& volume) {
  DiskEntry e = disk;
  e.entryKind = EntryKind::kVolume;
  e.aligned4K = volume.partitionOffset % 4096 == 0;
  e.displayName =
      Cut(base::Format(e.aligned4K ? "[%s] - 4K Aligned" : "[%s] - Non 4K Align", volume.letter.c_str()),
          kNameChars);
  e.devicePath = volume.path;
  e.volumeLetters = volume.letter;
  e.volumePath.clear();
  e.usableBytes = volume.freeBytes;
  e.totalBytes = volume.totalBytes;
  e.raw = false;
  return e;
}

int BuildDiskList(platform::DeviceTree& tree, std::vector<DiskEntry>& entries, size_t capacity) {
  entries.clear();
  platform::DeviceSnapshot snapshot = tree.Enumerate();

  std::vector<DiskEntry> disks;
  std::vector<std::vector<const platform::VolumeNode*>> volumesOf;
  for (const platform::DiskNode& node : snapshot.disks) {
    disks.push_back(EntryFromNode(node, tree));
    volumesOf.emplace_back();
  }
  const size_t physicalDisks = disks.size();

  for (const platform::VolumeNode& volume : snapshot.volumes) {
    if (volume.onListedDisk) {
      for (size_t i = 0; i < physicalDisks; ++i) {
        DiskEntry& disk = disks[i];
        if (disk.deviceNumber != volume.diskNumber) continue;
        disk.volumeLetters += volume.letter + " ";
        if (disk.volumePath.empty()) disk.volumePath = volume.path;
        disk.raw = false;
        if (volume.holdsSystem) disk.systemDisk = true;
        volumesOf[i].push_back(&volume);
        break;
      }
    } else if (volume.softwareRaid) {
      disks.push_back(SoftwareRaidEntry(volume));
      volumesOf.push_back({&volume});
    }
  }

  size_t wanted = 0;
  for (const auto& volumes : volumesOf) wanted += 1 + volumes.size();
  if (wanted > capacity) return -1;

  for (size_t i = 0; i < disks.size(); ++i) {
    ApplyIdentify(tree, disks[i]);
    entries.push_back(disks[i]);
    for (const platform::VolumeNode* volume : volumesOf[i]) entries.push_back(VolumeEntry(disks[i], *volume));
  }
  return static_cast<int>(entries.size());
}

const std::vector<DiskEntry>& RebuildDiskList(DiskState& state) {
  if (!state.tree || BuildDiskList(*state.tree, state.list) < 0) state.list.clear();
  return state.list;
}

}  // namespace kestrune::disk
