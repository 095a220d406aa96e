#include "sim/lab_volumes.h"

#include <algorithm>
#include <set>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/crc.h"
#include "base/text.h"
#include "disk/layout/partition_table.h"
#include "disk/layout/partition_writer.h"

namespace kestrune::sim {
namespace {

using platform::PartitionOperation;
using platform::PartitionOutcome;

constexpr uint32_t kNtfsClusterBytes = 4096;
constexpr uint32_t kExfatClusterBytes = 32768;

disk::SectorSource SourceOf(SimDrive& drive) {
  const uint32_t sectorSize = drive.description().sectorSize;
  return [&drive, sectorSize](uint64_t lba, uint32_t count, std::span<uint8_t> out) {
    const uint64_t bytes = uint64_t{count} * sectorSize;
    return out.size() >= bytes && drive.ReadStored(lba * sectorSize, out.first(bytes));
  };
}

struct Extent {
  uint64_t offset = 0;
  uint64_t bytes = 0;
};

// The partitions the drive's table lists, in bytes (entries that reach past the disk left out).
std::vector<Extent> PartitionsOf(SimDrive& drive) {
  const DriveDescription& d = drive.description();
  disk::PartitionTable table;
  if (disk::ReadPartitionTable(SourceOf(drive), d.sectorSize, drive.sectorCount(), table).code != 1)
    return {};
  std::vector<Extent> out;
  for (const disk::MbrPartition& p : table.mbr)
    if (!p.pastDisk && p.type != 0)
      out.push_back({uint64_t{p.firstLba} * d.sectorSize, uint64_t{p.sectorCount} * d.sectorSize});
  for (const disk::GptPartition& p : table.gpt)
    if (!p.pastDisk)
      out.push_back(
          {p.entry.startingLba * d.sectorSize, (p.entry.endingLba - p.entry.startingLba + 1) * d.sectorSize});
  return out;
}

// The file system name the system reports for a volume whose boot sector is at offset.
// The file system the volume's boot sector names ("" for none the lab knows) and the size it
// gives, as the system reports a volume: 0 where it gives none.
struct FileSystemFacts {
  std::string name;
  uint64_t bytes = 0;
};

FileSystemFacts FileSystemAt(SimDrive& drive, uint64_t offset) {
  std::vector<uint8_t> sector(drive.description().sectorSize);
  if (!drive.ReadStored(offset, sector)) return {};
  const disk::BootSectorInfo info = disk::DecodeBootSector(sector.data());
  if (sector[510] != 0x55 || sector[511] != 0xAA) return {};
  if (info.fileSystem == "NTFS") return {"NTFS", info.volumeBytes};
  if (info.fileSystem == "EXFAT") return {"exFAT", info.volumeBytes};
  return {};
}

// A GUID of the lab's own: the same drive and number give the same GUID in every run.
disk::Guid LabGuid(const DriveDescription& d, uint32_t number) {
  disk::Guid g{};
  for (uint32_t part = 0; part < 4; ++part) {
    const std::string seed =
        d.name + "/" + d.serial + "/" + std::to_string(number) + "/" + std::to_string(part);
    const uint32_t crc = base::Crc32(base::TextBytes(seed));
    for (int i = 0; i < 4; ++i) g[part * 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
  }
  g[7] = static_cast<uint8_t>((g[7] & 0x0F) | 0x40);  // version 4
  g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return g;
}

bool WriteAll(SimDrive& drive, const std::vector<disk::SectorWrite>& writes) {
  const uint32_t sectorSize = drive.description().sectorSize;
  for (const disk::SectorWrite& w : writes)
    if (!drive.WriteStored(w.lba * sectorSize, w.bytes)) return false;
  return true;
}

PartitionOutcome Fail(int32_t code, std::string detail) { return {code, std::move(detail), ""}; }

}  // namespace

std::vector<LabVolume> LiveVolumesLocked(SimDrive& drive) {
  std::vector<LabVolume> out;
  if (drive.description().attachment == Attachment::kSoftwareRaid || drive.letters().empty()) return out;
  const std::vector<Extent> partitions = PartitionsOf(drive);
  for (const SimDrive::LetterAssignment& a : drive.letters()) {
    auto p = std::find_if(partitions.begin(), partitions.end(),
                          [&](const Extent& e) { return e.offset == a.offset; });
    if (p == partitions.end()) continue;
    LabVolume v;
    v.letter = a.letter;
    v.offset = a.offset;
    // A file system's own size where its boot sector gives one within the partition, as the
    // system reports a volume's total; else the partition's.
    const FileSystemFacts fs = FileSystemAt(drive, a.offset);
    v.sizeBytes = p->bytes;
    v.totalBytes = fs.bytes != 0 && fs.bytes <= p->bytes ? fs.bytes : p->bytes;
    v.freeBytes = std::min(a.freeBytes, v.totalBytes);
    v.label = a.label;
    v.fileSystem = fs.name;
    out.push_back(std::move(v));
  }
  return out;
}

std::vector<platform::VolumeNode> VolumeNodesOf(SimDrive& drive) {
  auto lock = drive.Lock();
  std::vector<platform::VolumeNode> out;
  for (const LabVolume& v : LiveVolumesLocked(drive)) {
    platform::VolumeNode n;
    n.letter = std::string(1, v.letter) + ":";
    n.path = VolumePath(v.letter);
    n.onListedDisk = true;
    n.diskNumber = drive.description().deviceNumber;
    n.totalBytes = v.totalBytes;
    n.freeBytes = v.freeBytes;
    n.partitionOffset = v.offset;
    n.holdsSystem = v.letter == 'C';
    n.label = v.label;
    n.fileSystem = v.fileSystem;
    out.push_back(std::move(n));
  }
  return out;
}

bool PrepareDescribedVolumes(SimDrive& drive) {
  const DriveDescription& d = drive.description();
  if (d.attachment == Attachment::kSoftwareRaid || d.volumes.empty()) return true;
  auto lock = drive.Lock();
  disk::PartitionTable table;
  if (disk::ReadPartitionTable(SourceOf(drive), d.sectorSize, drive.sectorCount(), table).code != 1)
    return false;
  if (table.scheme == disk::TableScheme::kNone) {
    disk::NewTable t;
    t.diskSignature = base::Crc32(base::TextBytes(d.name + d.serial));
    t.diskGuid = LabGuid(d, 0);
    bool fitsMbr = d.volumes.size() <= 4;
    for (const VolumeDescription& v : d.volumes) {
      if (v.offset % d.sectorSize != 0 || v.sizeBytes % d.sectorSize != 0) return false;
      disk::NewPartition p;
      p.firstLba = v.offset / d.sectorSize;
      p.sectorCount = v.sizeBytes / d.sectorSize;
      p.uniqueGuid = LabGuid(d, static_cast<uint32_t>(t.partitions.size() + 1));
      p.name = u"Basic data partition";
      fitsMbr = fitsMbr && p.firstLba + p.sectorCount <= 0xFFFFFFFFULL;
      t.partitions.push_back(p);
    }
    t.scheme = fitsMbr ? disk::TableScheme::kMbr : disk::TableScheme::kGpt;
    std::vector<disk::SectorWrite> writes = disk::PartitionTableSectors(t, d.sectorSize, drive.sectorCount());
    if (writes.empty()) return false;
    for (const disk::NewPartition& p : t.partitions)
      writes.push_back(
          {p.firstLba, disk::BootSectorFor("NTFS", d.sectorSize, p.sectorCount, kNtfsClusterBytes)});
    if (!WriteAll(drive, writes)) return false;
  }
  for (const VolumeDescription& v : d.volumes) {
    auto& letters = drive.letters();
    const bool known =
        std::any_of(letters.begin(), letters.end(), [&](const auto& a) { return a.letter == v.letter; });
    if (!known) letters.push_back({v.letter, v.offset, v.freeBytes, ""});
  }
  return true;
}

std::vector<char> LabPartitionTool::FreeLetters(const SimDrive* except) {
  std::set<char> used;
  for (const auto& drive : drives_) {
    const DriveDescription& d = drive->description();
    if (d.attachment == Attachment::kSoftwareRaid) {
      for (const VolumeDescription& v : d.volumes) used.insert(v.letter);
      continue;
    }
    if (drive.get() == except) continue;
    auto lock = drive->Lock();
    for (const auto& a : drive->letters()) used.insert(a.letter);
  }
  std::vector<char> free;
  for (char c = 'D'; c <= 'Z'; ++c)
    if (!used.count(c)) free.push_back(c);
  return free;
}

PartitionOutcome LabPartitionTool::Run(const platform::PartitionRequest& request, const std::atomic<bool>*) {
  std::lock_guard run(runMutex_);
  std::shared_ptr<SimDrive> drive;
  for (const auto& candidate : drives_) {
    const DriveDescription& d = candidate->description();
    if (d.attachment != Attachment::kSoftwareRaid &&
        base::EqualsNoCase(request.targetPath, PhysicalDrivePath(d.deviceNumber)))
      drive = candidate;
  }
  if (!drive || !drive->Present()) return Fail(base::code::kOpenDiskFailed, request.targetPath);
  const DriveDescription& d = drive->description();
  // The tool reads its commands from a script of at most 256 bytes, as the system's tool does.
  if (!platform::DiskpartScript(request, d.deviceNumber)) return Fail(base::code::kBadParameter, "script");
  const FaultPlan faults = drive->faults();
  if (faults.partitionToolExit != 0)
    return Fail(base::code::kPartitionControlFailed,
                base::Format("DISKPART exit code %u", faults.partitionToolExit));

  const bool clean = request.operation == PartitionOperation::kClean;
  const disk::TableScheme scheme =
      request.operation == PartitionOperation::kCreateGpt ? disk::TableScheme::kGpt : disk::TableScheme::kMbr;
  std::optional<std::vector<disk::NewPartition>> plan;
  if (!clean) {
    plan = disk::PlanPartitions(scheme, d.sectorSize, drive->sectorCount(), request.sizeMB);
    if (!plan) return Fail(base::code::kBadParameter, "SizeMB");
  }
  std::vector<char> freeLetters = FreeLetters(drive.get());

  auto lock = drive->Lock();
  drive->letters().clear();
  if (!WriteAll(*drive, disk::WipeTableSectors(d.sectorSize, drive->sectorCount())))
    return Fail(base::code::kPartitionControlFailed, "CLEAN");
  if (clean) return {1, "", PhysicalDrivePath(d.deviceNumber)};

  ++creates_;
  disk::NewTable table;
  table.scheme = scheme;
  table.diskSignature = base::Crc32(base::TextBytes(d.serial + std::to_string(creates_)));
  table.diskGuid = LabGuid(d, creates_ * 256);
  table.partitions = *plan;
  for (size_t i = 0; i < table.partitions.size(); ++i)
    table.partitions[i].uniqueGuid = LabGuid(d, creates_ * 256 + static_cast<uint32_t>(i) + 1);
  if (!WriteAll(*drive, disk::PartitionTableSectors(table, d.sectorSize, drive->sectorCount())))
    return Fail(base::code::kPartitionControlFailed, "CREATE PARTITION");

  const bool exfat = request.fileSystem == platform::PartitionFileSystem::kExfat;
  const std::string keyword(platform::DiskpartFileSystem(request.fileSystem));
  std::vector<const disk::NewPartition*> data;
  for (const disk::NewPartition& p : table.partitions)
    if (p.typeGuid != disk::kGptTypeMicrosoftReserved) data.push_back(&p);
  if (faults.partitionFormatFails) return Fail(base::code::kFormatFailed, "FORMAT FS=" + keyword);
  for (const disk::NewPartition* p : data) {
    const std::vector<uint8_t> boot =
        disk::BootSectorFor(exfat ? "EXFAT" : "NTFS", d.sectorSize, p->sectorCount,
                            exfat ? kExfatClusterBytes : kNtfsClusterBytes);
    if (!drive->WriteStored(p->firstLba * d.sectorSize, boot))
      return Fail(base::code::kFormatFailed, "FORMAT FS=" + keyword);
  }
  if (faults.partitionNoLetter || freeLetters.size() < data.size())
    return Fail(base::code::kPartitionControlFailed,
                base::Format("No drive letter on disk %u", d.deviceNumber));
  for (size_t i = 0; i < data.size(); ++i) {
    const uint64_t bytes = data[i]->sectorCount * d.sectorSize;
    const std::string label = i < request.labels.size() ? request.labels[i] : "";
    drive->letters().push_back({freeLetters[i], data[i]->firstLba * d.sectorSize, bytes / 64 * 63, label});
  }
  return {1, "", VolumePath(freeLetters[0])};
}

}  // namespace kestrune::sim
