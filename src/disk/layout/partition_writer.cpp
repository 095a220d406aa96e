#include "disk/layout/partition_writer.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/crc.h"

namespace kestrune::disk {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kReservedBytes = 16 * kMiB;
constexpr uint32_t kEntryBytes = sizeof(GptPartitionEntryBytes);
constexpr uint64_t kArrayBytes = uint64_t{kGptEntriesWritten} * kEntryBytes;
// CHS fields of records that are addressed by LBA only.
constexpr uint8_t kChsBeyond[3] = {0xFE, 0xFF, 0xFF};

uint64_t ArraySectors(uint32_t sectorSize) { return (kArrayBytes + sectorSize - 1) / sectorSize; }

void PutRecord(uint8_t* mbr, uint32_t index, uint8_t type, uint64_t first, uint64_t count) {
  uint8_t* r = mbr + offsetof(LegacyMbr, PartitionRecord) + index * sizeof(MbrPartitionRecord);
  r[offsetof(MbrPartitionRecord, BootIndicator)] = 0;
  std::memcpy(r + offsetof(MbrPartitionRecord, StartingCHS), kChsBeyond, 3);
  r[offsetof(MbrPartitionRecord, OSType)] = type;
  std::memcpy(r + offsetof(MbrPartitionRecord, EndingCHS), kChsBeyond, 3);
  base::PutLe32(r + offsetof(MbrPartitionRecord, StartingLBA), static_cast<uint32_t>(first));
  base::PutLe32(r + offsetof(MbrPartitionRecord, SizeInLBA), static_cast<uint32_t>(count));
}

std::vector<uint8_t> MbrSector(uint32_t sectorSize, uint32_t diskSignature) {
  std::vector<uint8_t> s(sectorSize, 0);
  base::PutLe32(s.data() + offsetof(LegacyMbr, UniqueMBRDiskSignature), diskSignature);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

std::vector<uint8_t> HeaderSector(GptHeader h, uint32_t sectorSize) {
  std::vector<uint8_t> s(sectorSize, 0);
  h.headerCrc32 = 0;
  EncodeGptHeader(h, s.data());
  base::PutLe32(s.data() + offsetof(GptHeaderBytes, HeaderCRC32), GptHeaderCrc(s.data(), h.headerSize));
  return s;
}

}  // namespace

std::optional<UsableRange> GptUsableRange(uint32_t sectorSize, uint64_t diskSectors) {
  const uint64_t array = ArraySectors(sectorSize);
  if (diskSectors < 2 * (array + 1) + 2) return std::nullopt;
  return UsableRange{2 + array, diskSectors - 2 - array};
}

std::vector<SectorWrite> PartitionTableSectors(const NewTable& table, uint32_t sectorSize,
                                               uint64_t diskSectors) {
  if (sectorSize < 512 || diskSectors < 3) return {};
  std::vector<SectorWrite> out;
  if (table.scheme == TableScheme::kMbr) {
    if (table.partitions.size() > 4) return {};
    std::vector<uint8_t> mbr = MbrSector(sectorSize, table.diskSignature);
    for (uint32_t i = 0; i < table.partitions.size(); ++i) {
      const NewPartition& p = table.partitions[i];
      if (p.firstLba == 0 || p.sectorCount == 0 || p.firstLba > 0xFFFFFFFFULL ||
          p.sectorCount > 0xFFFFFFFFULL || p.firstLba + p.sectorCount > diskSectors)
        return {};
      PutRecord(mbr.data(), i, p.mbrType, p.firstLba, p.sectorCount);
    }
    out.push_back({0, std::move(mbr)});
    return out;
  }
  if (table.scheme != TableScheme::kGpt || table.partitions.size() > kGptEntriesWritten) return {};
  std::optional<UsableRange> usable = GptUsableRange(sectorSize, diskSectors);
  if (!usable) return {};

  std::vector<uint8_t> entries(ArraySectors(sectorSize) * sectorSize, 0);
  for (size_t i = 0; i < table.partitions.size(); ++i) {
    const NewPartition& p = table.partitions[i];
    if (p.sectorCount == 0 || p.firstLba < usable->first || p.sectorCount - 1 > usable->last - p.firstLba ||
        p.firstLba > usable->last || IsZeroGuid(p.uniqueGuid))
      return {};
    GptEntry e;
    e.typeGuid = p.typeGuid;
    e.uniqueGuid = p.uniqueGuid;
    e.startingLba = p.firstLba;
    e.endingLba = p.firstLba + p.sectorCount - 1;
    e.name = p.name;
    EncodeGptEntry(e, entries.data() + i * kEntryBytes);
  }

  std::vector<uint8_t> mbr = MbrSector(sectorSize, 0);
  PutRecord(mbr.data(), 0, kMbrTypeProtective, 1, std::min<uint64_t>(diskSectors - 1, 0xFFFFFFFFULL));
  uint8_t* r = mbr.data() + offsetof(LegacyMbr, PartitionRecord);
  const uint8_t startChs[3] = {0x00, 0x02, 0x00};
  std::memcpy(r + offsetof(MbrPartitionRecord, StartingCHS), startChs, 3);
  out.push_back({0, std::move(mbr)});

  GptHeader h;
  h.revision = kGptRevision;
  h.headerSize = sizeof(GptHeaderBytes);
  h.firstUsableLba = usable->first;
  h.lastUsableLba = usable->last;
  h.diskGuid = table.diskGuid;
  h.numberOfPartitionEntries = kGptEntriesWritten;
  h.sizeOfPartitionEntry = kEntryBytes;
  h.partitionEntryArrayCrc32 = base::Crc32({entries.data(), static_cast<size_t>(kArrayBytes)});

  GptHeader primary = h;
  primary.myLba = 1;
  primary.alternateLba = diskSectors - 1;
  primary.partitionEntryLba = 2;
  GptHeader backup = h;
  backup.myLba = diskSectors - 1;
  backup.alternateLba = 1;
  backup.partitionEntryLba = usable->last + 1;

  out.push_back({1, HeaderSector(primary, sectorSize)});
  out.push_back({2, entries});
  out.push_back({backup.partitionEntryLba, std::move(entries)});
  out.push_back({backup.myLba, HeaderSector(backup, sectorSize)});
  return out;
}

std::vector<SectorWrite> WipeTableSectors(uint32_t sectorSize, uint64_t diskSectors) {
  const uint64_t head = std::min<uint64_t>(2 + ArraySectors(sectorSize), diskSectors);
  std::vector<SectorWrite> out;
  out.push_back({0, std::vector<uint8_t>(head * sectorSize, 0)});
  const uint64_t tail = std::min<uint64_t>(1 + ArraySectors(sectorSize), diskSectors - head);
  if (tail > 0) out.push_back({diskSectors - tail, std::vector<uint8_t>(tail * sectorSize, 0)});
  return out;
}

std::optional<std::vector<NewPartition>> PlanPartitions(TableScheme scheme, uint32_t sectorSize,
                                                        uint64_t diskSectors, int64_t sizeMB) {
  if (sizeMB < 0 || sectorSize == 0 || kMiB % sectorSize != 0) return std::nullopt;
  const uint64_t perMiB = kMiB / sectorSize;
  uint64_t end = diskSectors;  // one past the last sector partitions may use
  if (scheme == TableScheme::kGpt) {
    std::optional<UsableRange> usable = GptUsableRange(sectorSize, diskSectors);
    if (!usable) return std::nullopt;
    end = usable->last + 1;
  } else if (scheme != TableScheme::kMbr) {
    return std::nullopt;
  }
  std::vector<NewPartition> parts;
  uint64_t next = perMiB;
  if (scheme == TableScheme::kGpt) {
    NewPartition reserved;
    reserved.firstLba = next;
    reserved.sectorCount = kReservedBytes / sectorSize;
    reserved.typeGuid = kGptTypeMicrosoftReserved;
    reserved.name = u"Microsoft reserved partition";
    next += reserved.sectorCount;
    parts.push_back(reserved);
  }
  auto add = [&](uint64_t count) {
    NewPartition p;
    p.firstLba = next;
    p.sectorCount = count;
    p.name = u"Basic data partition";
    next += count;
    parts.push_back(p);
  };
  if (next + perMiB > end) return std::nullopt;
  if (sizeMB == 0) {
    add(end - next);
  } else {
    if (static_cast<uint64_t>(sizeMB) > (end - next) / perMiB) return std::nullopt;
    add(static_cast<uint64_t>(sizeMB) * perMiB);
    if (end - next < perMiB) return std::nullopt;
    add(end - next);
  }
  NewTable check{scheme, 1, Guid{1}, parts};
  for (size_t i = 0; i < check.partitions.size(); ++i)
    check.partitions[i].uniqueGuid[0] = static_cast<uint8_t>(i + 1);
  if (PartitionTableSectors(check, sectorSize, diskSectors).empty()) return std::nullopt;
  return parts;
}

std::vector<uint8_t> BootSectorFor(const std::string& fileSystem, uint32_t sectorSize, uint64_t sectors,
                                   uint32_t clusterBytes) {
  std::vector<uint8_t> s(sectorSize, 0);
  if (fileSystem == "NTFS") {
    const uint8_t jump[3] = {0xEB, 0x52, 0x90};
    std::memcpy(s.data(), jump, 3);
    std::memcpy(s.data() + offsetof(BootSectorBytes, OemName), "NTFS    ", 8);
    base::PutLe16(s.data() + offsetof(BootSectorBytes, BytesPerSector), static_cast<uint16_t>(sectorSize));
    s[offsetof(BootSectorBytes, SectorsPerCluster)] = static_cast<uint8_t>(clusterBytes / sectorSize);
    s[21] = 0xF8;                               // media descriptor
    // The total sectors: the last holds the backup boot sector.
    base::PutLe64(s.data() + offsetof(BootSectorBytes, TotalSectors), sectors - 1);
    base::PutLe64(s.data() + offsetof(BootSectorBytes, MftClusterNumber), 4);
    base::PutLe64(s.data() + 56, sectors / 2 / (clusterBytes / sectorSize));  // $MFTMirr
    s[0x40] = 0xF6;  // a file record is 2^10 bytes (a negative count is a power of two)
    s[0x44] = 0xF4;  // an index record is 2^12 bytes
  } else {
    const uint8_t jump[3] = {0xEB, 0x76, 0x90};
    std::memcpy(s.data(), jump, 3);
    std::memcpy(s.data() + offsetof(BootSectorBytes, OemName), "EXFAT   ", 8);
    base::PutLe64(s.data() + kExfatVolumeLength, sectors);
    uint8_t sectorShift = 0, clusterShift = 0;
    while ((1u << sectorShift) < sectorSize) ++sectorShift;
    while ((uint64_t{sectorSize} << clusterShift) < clusterBytes) ++clusterShift;
    // The data area from 1 MiB on, in whole clusters, as the formatter lays it out.
    const uint64_t heap = std::min<uint64_t>((1u << 20) / sectorSize, sectors);
    base::PutLe32(s.data() + kExfatClusterHeapOffset, static_cast<uint32_t>(heap));
    base::PutLe32(s.data() + kExfatClusterCount,
                  static_cast<uint32_t>(std::min<uint64_t>((sectors - heap) >> clusterShift, UINT32_MAX)));
    s[kExfatBytesPerSectorShift] = sectorShift;
    s[kExfatSectorsPerClusterShift] = clusterShift;
  }
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

}  // namespace kestrune::disk
