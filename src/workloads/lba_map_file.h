// The LBA map file "LBAMap.map": a header naming the test range and the block size, then one 9-byte
// entry per operation (the block's byte offset and its kind), all little-endian. This module turns
// bytes into records and back, checks a map against the disk it is meant for before any I/O, makes
// new entries from ratios, and replays a map to tell what every block should hold.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrune::workloads {

enum class MapKind : uint8_t { kWrite = 0, kTrim = 1, kFuaWrite = 2, kFlush = 3 };

inline constexpr size_t kMapHeaderBytes = 24;
inline constexpr size_t kMapEntryBytes = 9;
inline constexpr uint64_t kMaxMapBlocks = 0x4000000;

struct MapHeader {
  uint64_t start = 0;        // byte offset of the first block
  uint64_t rangeBytes = 0;   // bytes of the range
  uint32_t accessSize = 0;   // bytes of one block
  uint32_t count = 0;        // entries
};

struct MapEntry {
  uint64_t offset = 0;  // byte offset of the block (meaningless for a flush)
  MapKind kind = MapKind::kWrite;
  bool operator==(const MapEntry&) const = default;
};

struct LbaMap {
  MapHeader header;
  std::vector<MapEntry> entries;
  uint64_t Blocks() const { return header.accessSize ? header.rangeBytes / header.accessSize : 0; }
  uint64_t BlockOf(const MapEntry& e) const { return (e.offset - header.start) / header.accessSize; }
};

void EncodeHeader(const MapHeader& header, std::span<uint8_t, kMapHeaderBytes> out);
void AppendEntry(std::vector<uint8_t>& out, const MapEntry& entry);
// The whole file: the header (its count set to the entries') and every entry.
std::vector<uint8_t> EncodeMap(const LbaMap& map);

// Reads and checks a map for a disk of diskBytes with sectors of sectorSize: the size must be 24 + 9 x
// count, the block size a whole number of sectors above 0, the start on a sector, the range at
// least one block and at most kMaxMapBlocks blocks inside the disk, every kind 0-3 and every offset
// on a block of the range. nullopt with problem set ("entry 12: kind 7") otherwise.
std::optional<LbaMap> DecodeMap(std::span<const uint8_t> bytes, uint32_t sectorSize, uint64_t diskBytes,
                                std::string& problem);

// What Compare_MapMake and Compare_MapAppend generate.
struct MapRecipe {
  uint32_t randRatio = 100;  // percent of writes at a random block
  uint64_t start = 0;
  uint64_t rangeBytes = 0;
  uint32_t accessSize = 0;
  uint64_t writes = 0;       // generation ends after this many writes
  uint32_t trimRatio = 0, fuaRatio = 0, flushRatio = 0;  // in 1/10,000
};

inline constexpr size_t kMapBatchEntries = 16384;

// The entries of a recipe, in batches of at most kMapBatchEntries; each batch's generator is seeded
// anew from seed(), and batch(entries) takes each batch as it is done (false stops: nullopt).
// Returns the number of entries generated.
std::optional<uint64_t> GenerateMap(const MapRecipe& recipe, const std::function<uint32_t()>& seed,
                                    const std::function<bool(std::span<const MapEntry>)>& batch);

// The expected state of the blocks after the first `issued` entries, with the entries in
// `uncertain` (a request still in flight when the write stopped) allowed either way.
struct BlockState {
  uint32_t writes = 0;      // writes of the block so far (32 bits: a block may be written 65,536 times)
  uint32_t lastOrder = 0;   // write order number of its latest write (0: never written)
  uint32_t trimWrites = 0;  // its write count at its latest trim
  bool trimmedLast = false; // its latest operation is a trim
  // The block as the durable entries left it: its write count then and whether its last durable
  // operation was a trim; and whether a trim of it follows among the entries not yet durable.
  uint32_t durableWrites = 0;
  bool durableTrimmed = false;
  bool laterTrim = false;
};

// What the write's record tells beyond the entries issued: entries [0, durable) are durable (a
// power cut cannot undo them), and every entry from uncertainFrom on may or may not have happened
// (the tail a host crash leaves unknown).
struct ReplayFacts {
  uint64_t durable = UINT64_MAX;
  uint64_t uncertainFrom = UINT64_MAX;
};

class MapReplay {
 public:
  MapReplay(const LbaMap& map, uint64_t issued, std::vector<uint64_t> uncertain, ReplayFacts facts = {});
  const BlockState& Block(uint64_t block) const { return blocks_[block]; }
  // Whether the block may still hold what its count-th write left (0: the base pattern) because
  // that is its last durable state or came after it: old data a power cut may leave.
  bool MayHoldAfterPowerLoss(uint64_t block, uint32_t count) const;
  // Whether a trimmed state of the block is its last durable one or came after it.
  bool MayReadTrimmed(uint64_t block) const;
  // The write order number of the block's write with write count n, and whether it was uncertain;
  // nullopt when the block had no such write.
  struct Write {
    uint32_t order = 0;
    bool uncertain = false;
  };
  std::optional<Write> FindWrite(uint64_t block, uint32_t count) const;
  bool Uncertain(uint64_t entry) const;

 private:
  const LbaMap& map_;
  uint64_t issued_;
  std::vector<uint64_t> uncertain_;  // sorted
  ReplayFacts facts_;
  std::vector<BlockState> blocks_;
};

// How a compare sorts each sector. kOldData is old data the drive should no longer hold (its newer
// write was made durable by a FUA write, a flush or a write cache that is off); kOldNotDurable is
// old data that only entries not yet durable had replaced, which a power cut may leave.
enum class SectorVerdict : uint8_t { kCorrect, kOldData, kAllZero, kMiscompare, kReadFail, kOldNotDurable };
inline constexpr size_t kSectorVerdicts = 6;

// What the drive promises a trimmed sector reads back.
enum class TrimPromise : uint8_t { kZerosOrOnes, kZeros, kOnes };
bool ReadsAsTrimmed(TrimPromise promise, std::span<const uint8_t> data);

// Judges each sector of a block read back on its own marks (a torn write leaves sectors of
// different writes in one block):
// equal to the expected sector: correct; for a trimmed block what the drive promised (all 0x00 or
// all 0xFF without a promise) is correct; the base pattern with its LBA: old data; a trimmed read
// where a trim is among the states a power cut may leave: old data not yet durable; all zero: All
// 0x00; a sector whose LBA mark is another's: miscompare; else the write its second tag names:
// equal to it is correct when that write was uncertain, old data when not; anything else:
// miscompare. Old data is not yet durable when the block may hold it after a power loss.
struct BlockJudge {
  uint32_t sectorSize = 512;
  uint32_t writePattern = 0;
  uint32_t basePattern = 0;
  TrimPromise trimReads = TrimPromise::kZerosOrOnes;
};
// The block as a write with this order number and count stamps it, or (order 0) the base pattern.
void BuildBlock(const BlockJudge& judge, uint64_t firstLba, uint32_t order, uint32_t count, std::span<uint8_t> out);
std::vector<SectorVerdict> JudgeBlock(const BlockJudge& judge, const MapReplay& replay, uint64_t block,
                                      uint64_t firstLba, std::span<const uint8_t> expected,
                                      std::span<const uint8_t> read);

}  // namespace kestrune::workloads
