// Reading a disk's partition table at the disk's own sector size (512 or 4096 bytes): the MBR with
// its four records, or (behind a protective MBR) the GPT, whose header and entry array are checked
// by their CRC-32 and bounds, the backup header taking over when the primary is damaged.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "disk/layout/partition_layout.h"

namespace kestrune::disk {

// Reads count sectors from lba into out (count × the sector size bytes). False when the read fails.
using SectorSource = std::function<bool(uint64_t lba, uint32_t count, std::span<uint8_t> out)>;

// The largest entry array a header may describe (8192 entries of 128 bytes).
inline constexpr uint64_t kMaxGptEntryArrayBytes = uint64_t{1} << 20;

enum class TableScheme : uint8_t { kNone, kMbr, kGpt };  // kNone: no 55h AAh signature

struct MbrPartition {
  uint32_t index = 0;  // 0 to 3
  uint8_t type = 0;
  uint32_t firstLba = 0;
  uint32_t sectorCount = 0;
  bool pastDisk = false;  // the record reaches beyond the disk
};

struct GptPartition {
  uint32_t index = 0;  // 0-based position in the entry array
  GptEntry entry;
  bool pastDisk = false;  // the entry's range is reversed or reaches beyond the disk
};

struct PartitionTable {
  TableScheme scheme = TableScheme::kNone;
  uint32_t diskSignature = 0;
  std::vector<MbrPartition> mbr;  // records with a non-zero sector count
  GptHeader header;               // the GPT header in use
  uint64_t headerLba = 0;         // where it was read
  bool usedBackup = false;
  std::string primaryDamage;      // why the primary header was passed over; empty when it was used
  std::vector<GptPartition> gpt;  // entries whose unique GUID is not zero
};

struct TableRead {
  int32_t code = 1;    // 1; -3 a read failed; -90 both GPT headers are damaged; -2 an unusable geometry
  std::string detail;  // "MBR Sector", "GPT Header", "GPT Entrt Table", or what is damaged
};

TableRead ReadPartitionTable(const SectorSource& read, uint32_t sectorSize, uint64_t diskSectors,
                             PartitionTable& out);

// Why a GPT header read from lba of a disk of diskSectors sectors cannot be used (its signature,
// size, CRC, MyLBA, entry geometry or usable range); empty when it is sound. header receives the
// decoded fields either way.
std::string CheckGptHeader(std::span<const uint8_t> sector, uint64_t lba, uint64_t diskSectors,
                           GptHeader& header);

}  // namespace kestrune::disk
