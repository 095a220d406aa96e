// Writing partition tables: an MBR, or a GPT with its protective MBR, primary and backup headers and
// entry arrays (128 entries of 128 bytes), at the disk's sector size; wiping them again; and the
// places the partition tool gives its partitions. Used by the simulated lab's partition tool and by
// tests that need real table bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/layout/partition_layout.h"
#include "disk/layout/partition_table.h"

namespace kestrune::disk {

inline constexpr uint32_t kGptEntriesWritten = 128;

struct NewPartition {
  uint64_t firstLba = 0;
  uint64_t sectorCount = 0;
  uint8_t mbrType = kMbrTypeNtfs;
  Guid typeGuid = kGptTypeBasicData;
  Guid uniqueGuid{};  // GPT; must not be zero
  std::u16string name;
};

struct NewTable {
  TableScheme scheme = TableScheme::kMbr;  // kMbr or kGpt
  uint32_t diskSignature = 0;
  Guid diskGuid{};
  std::vector<NewPartition> partitions;  // MBR: at most 4
};

struct SectorWrite {
  uint64_t lba = 0;
  std::vector<uint8_t> bytes;  // whole sectors
};

// The sectors that hold the table. Empty when the table does not fit the disk (MBR: more than four
// records or a field past 32 bits; GPT: a partition outside the usable range, or a disk too small).
std::vector<SectorWrite> PartitionTableSectors(const NewTable& table, uint32_t sectorSize,
                                               uint64_t diskSectors);

// The GPT usable range the writer gives a disk: first and last usable LBA.
struct UsableRange {
  uint64_t first = 0;
  uint64_t last = 0;
};
std::optional<UsableRange> GptUsableRange(uint32_t sectorSize, uint64_t diskSectors);

// Zero sectors over the MBR, the primary GPT header and array, and the backup array and header.
std::vector<SectorWrite> WipeTableSectors(uint32_t sectorSize, uint64_t diskSectors);

// Where the partition tool places its partitions on a freshly cleaned disk: from 1 MiB on, 1 MiB
// aligned; a GPT disk first gets a 16 MiB Microsoft reserved partition. sizeMB 0 makes one data
// partition of the rest, else a first of sizeMB MiB and a second of the rest. nullopt when sizeMB
// is negative or leaves no whole MiB for the second partition, or the layout cannot be written.
std::optional<std::vector<NewPartition>> PlanPartitions(TableScheme scheme, uint32_t sectorSize,
                                                        uint64_t diskSectors, int64_t sizeMB);

// A volume boot sector (sectorSize bytes) that names its file system ("NTFS" or "EXFAT") the way
// the formatter writes it: OEM text, sector and cluster geometry, the NTFS MFT cluster, 55h AAh.
std::vector<uint8_t> BootSectorFor(const std::string& fileSystem, uint32_t sectorSize, uint64_t sectors,
                                   uint32_t clusterBytes);

}  // namespace kestrune::disk
