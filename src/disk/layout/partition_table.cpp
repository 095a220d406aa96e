#include "disk/layout/partition_table.h"

#include <cstring>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/crc.h"
#include "base/text.h"

namespace kestrune::disk {
namespace {

bool SoundSectorSize(uint32_t size) { return size >= 512 && size <= 65536 && (size & (size - 1)) == 0; }

uint64_t ArraySectors(const GptHeader& h, uint32_t sectorSize) {
  const uint64_t bytes = uint64_t{h.numberOfPartitionEntries} * h.sizeOfPartitionEntry;
  return (bytes + sectorSize - 1) / sectorSize;
}

// Reads and checks the entry array of a sound header; -3 when the read fails, else 1 with the CRC
// verdict in crcOk.
int32_t ReadEntries(const SectorSource& read, uint32_t sectorSize, const GptHeader& h,
                    std::vector<uint8_t>& bytes, bool& crcOk) {
  const uint64_t sectors = ArraySectors(h, sectorSize);
  bytes.assign(sectors * sectorSize, 0);
  if (!read(h.partitionEntryLba, static_cast<uint32_t>(sectors), bytes)) return base::code::kReadFailed;
  const size_t used = size_t{h.numberOfPartitionEntries} * h.sizeOfPartitionEntry;
  crcOk = base::Crc32({bytes.data(), used}) == h.partitionEntryArrayCrc32;
  return 1;
}

}  // namespace

std::string CheckGptHeader(std::span<const uint8_t> sector, uint64_t lba, uint64_t diskSectors,
                           GptHeader& h) {
  if (sector.size() < sizeof(GptHeaderBytes)) return "sector too small";
  h = DecodeGptHeader(sector.data());
  const uint64_t sectorSize = sector.size();
  if (std::memcmp(sector.data(), kGptSignature.data(), kGptSignature.size()) != 0) return "no signature";
  if (h.headerSize < sizeof(GptHeaderBytes) || h.headerSize > sectorSize) return "header size";
  if (GptHeaderCrc(sector.data(), h.headerSize) != h.headerCrc32) return "header CRC";
  if (h.myLba != lba) return "MyLBA";
  const uint32_t size = h.sizeOfPartitionEntry;
  if (size < sizeof(GptPartitionEntryBytes) || size > 4096 || (size & (size - 1)) != 0) return "entry size";
  const uint64_t arrayBytes = uint64_t{h.numberOfPartitionEntries} * size;
  if (h.numberOfPartitionEntries == 0 || arrayBytes > kMaxGptEntryArrayBytes) return "entry count";
  if (h.lastUsableLba >= diskSectors || h.firstUsableLba < 2 || h.firstUsableLba > h.lastUsableLba + 1)
    return "usable range";
  if (h.myLba >= h.firstUsableLba && h.myLba <= h.lastUsableLba) return "usable range";
  const uint64_t arraySectors = (arrayBytes + sectorSize - 1) / sectorSize;
  const uint64_t first = h.partitionEntryLba;
  if (first < 2 || first >= diskSectors || arraySectors > diskSectors - first) return "entry array LBA";
  const uint64_t end = first + arraySectors;  // one past the array
  const bool overlapsUsable = first <= h.lastUsableLba && end > h.firstUsableLba;
  const bool holdsHeader = h.myLba >= first && h.myLba < end;
  if (overlapsUsable || holdsHeader) return "entry array LBA";
  return "";
}

TableRead ReadPartitionTable(const SectorSource& read, uint32_t sectorSize, uint64_t diskSectors,
                             PartitionTable& out) {
  out = PartitionTable{};
  if (!SoundSectorSize(sectorSize) || diskSectors < 3) return {base::code::kBadParameter, "Disk Geometry"};
  std::vector<uint8_t> mbr(sectorSize), primary(sectorSize);
  if (!read(0, 1, mbr)) return {base::code::kReadFailed, "MBR Sector"};
  if (!read(1, 1, primary)) return {base::code::kReadFailed, "GPT Header"};
  if (mbr[510] != 0x55 || mbr[511] != 0xAA) return {};

  out.diskSignature = base::GetLe32(mbr.data() + offsetof(LegacyMbr, UniqueMBRDiskSignature));
  const uint8_t* records = mbr.data() + offsetof(LegacyMbr, PartitionRecord);
  if (records[offsetof(MbrPartitionRecord, OSType)] != kMbrTypeProtective) {
    out.scheme = TableScheme::kMbr;
    for (uint32_t i = 0; i < 4; ++i) {
      const uint8_t* r = records + i * sizeof(MbrPartitionRecord);
      MbrPartition p;
      p.index = i;
      p.type = r[offsetof(MbrPartitionRecord, OSType)];
      p.firstLba = base::GetLe32(r + offsetof(MbrPartitionRecord, StartingLBA));
      p.sectorCount = base::GetLe32(r + offsetof(MbrPartitionRecord, SizeInLBA));
      if (p.sectorCount == 0) continue;
      p.pastDisk = uint64_t{p.firstLba} + p.sectorCount > diskSectors;
      out.mbr.push_back(p);
    }
    return {};
  }

  out.scheme = TableScheme::kGpt;
  GptHeader h;
  std::vector<uint8_t> entries;
  bool crcOk = false;
  std::string why = CheckGptHeader(primary, 1, diskSectors, h);
  if (why.empty()) {
    if (ReadEntries(read, sectorSize, h, entries, crcOk) < 0)
      return {base::code::kReadFailed, "GPT Entrt Table"};
    if (!crcOk) why = "entry array CRC";
  }
  if (why.empty()) {
    out.headerLba = 1;
  } else {
    out.primaryDamage = why;
    // The backup where the primary says it is, else at the disk's last sector.
    std::vector<uint64_t> places;
    if (h.alternateLba > 1 && h.alternateLba < diskSectors && h.alternateLba != diskSectors - 1)
      places.push_back(h.alternateLba);
    places.push_back(diskSectors - 1);
    std::string backupWhy;
    for (uint64_t lba : places) {
      std::vector<uint8_t> backup(sectorSize);
      if (!read(lba, 1, backup)) return {base::code::kReadFailed, "GPT Header"};
      backupWhy = CheckGptHeader(backup, lba, diskSectors, h);
      if (backupWhy.empty()) {
        if (ReadEntries(read, sectorSize, h, entries, crcOk) < 0)
          return {base::code::kReadFailed, "GPT Entrt Table"};
        if (!crcOk) backupWhy = "entry array CRC";
      }
      if (backupWhy.empty()) {
        out.headerLba = lba;
        break;
      }
    }
    if (!backupWhy.empty())
      return {base::code::kInvalidData, "GPT Header: primary " + why + ", backup " + backupWhy};
    out.usedBackup = true;
  }
  out.header = h;
  for (uint32_t i = 0; i < h.numberOfPartitionEntries; ++i) {
    GptPartition p;
    p.index = i;
    p.entry = DecodeGptEntry(entries.data() + size_t{i} * h.sizeOfPartitionEntry);
    if (IsZeroGuid(p.entry.uniqueGuid)) continue;
    p.pastDisk = p.entry.startingLba > p.entry.endingLba || p.entry.endingLba >= diskSectors;
    out.gpt.push_back(std::move(p));
  }
  return {};
}

}  // namespace kestrune::disk
