#include "workloads/lba_map_file.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/text.h"
#include "disk/pattern_fill.h"
#include "workloads/random_source.h"
#include "workloads/ratio_table.h"

namespace kestrune::workloads {
namespace {

static_assert(kMapHeaderBytes == 8 + 8 + 4 + 4, "map header layout");
static_assert(kMapEntryBytes == 8 + 1, "map entry layout");

bool AllBytes(std::span<const uint8_t> s, uint8_t v) {
  return std::all_of(s.begin(), s.end(), [v](uint8_t b) { return b == v; });
}

uint64_t MarkAt(std::span<const uint8_t> sector, size_t at) {
  uint64_t v = 0;
  for (size_t i = 0; i < 8 && at + i < sector.size(); ++i) v = (v << 8) | sector[at + i];
  return v;
}

}  // namespace

void EncodeHeader(const MapHeader& header, std::span<uint8_t, kMapHeaderBytes> out) {
  base::PutLe64(out.data(), header.start);
  base::PutLe64(out.data() + 8, header.rangeBytes);
  base::PutLe32(out.data() + 16, header.accessSize);
  base::PutLe32(out.data() + 20, header.count);
}

void AppendEntry(std::vector<uint8_t>& out, const MapEntry& entry) {
  const size_t at = out.size();
  out.resize(at + kMapEntryBytes);
  base::PutLe64(out.data() + at, entry.offset);
  out[at + 8] = static_cast<uint8_t>(entry.kind);
}

std::vector<uint8_t> EncodeMap(const LbaMap& map) {
  std::vector<uint8_t> out(kMapHeaderBytes);
  MapHeader header = map.header;
  header.count = static_cast<uint32_t>(map.entries.size());
  EncodeHeader(header, std::span<uint8_t, kMapHeaderBytes>(out.data(), kMapHeaderBytes));
  out.reserve(kMapHeaderBytes + kMapEntryBytes * map.entries.size());
  for (const MapEntry& e : map.entries) AppendEntry(out, e);
  return out;
}

std::optional<LbaMap> DecodeMap(std::span<const uint8_t> bytes, uint32_t sectorSize, uint64_t diskBytes,
                                std::string& problem) {
  if (bytes.size() < kMapHeaderBytes) {
    problem = base::Format("%zu bytes, shorter than the header", bytes.size());
    return std::nullopt;
  }
  LbaMap map;
  MapHeader& h = map.header;
  h.start = base::GetLe64(bytes.data());
  h.rangeBytes = base::GetLe64(bytes.data() + 8);
  h.accessSize = base::GetLe32(bytes.data() + 16);
  h.count = base::GetLe32(bytes.data() + 20);
  const uint64_t want = kMapHeaderBytes + uint64_t{kMapEntryBytes} * h.count;
  if (bytes.size() != want) {
    problem = base::Format("%zu bytes, but %u entries need %llu", bytes.size(), h.count,
                           static_cast<unsigned long long>(want));
    return std::nullopt;
  }
  if (sectorSize == 0 || h.accessSize == 0 || h.accessSize % sectorSize != 0) {
    problem = base::Format("access size %u is not a whole number of %u-byte sectors", h.accessSize, sectorSize);
    return std::nullopt;
  }
  if (h.start % sectorSize != 0) {
    problem = base::Format("start 0x%llX is not on a sector", static_cast<unsigned long long>(h.start));
    return std::nullopt;
  }
  if (h.rangeBytes < h.accessSize || h.rangeBytes / h.accessSize > kMaxMapBlocks) {
    problem = base::Format("range of %llu bytes is not 1 to %llu blocks", static_cast<unsigned long long>(h.rangeBytes),
                           static_cast<unsigned long long>(kMaxMapBlocks));
    return std::nullopt;
  }
  if (h.start > diskBytes || h.rangeBytes > diskBytes - h.start) {
    problem = "range reaches past the end of the disk";
    return std::nullopt;
  }
  const uint64_t blocks = map.Blocks();
  map.entries.reserve(h.count);
  for (uint32_t i = 0; i < h.count; ++i) {
    const uint8_t* p = bytes.data() + kMapHeaderBytes + size_t{kMapEntryBytes} * i;
    MapEntry e{base::GetLe64(p), static_cast<MapKind>(p[8])};
    if (p[8] > 3) {
      problem = base::Format("entry %u: kind %u", i, p[8]);
      return std::nullopt;
    }
    if (e.kind != MapKind::kFlush &&
        (e.offset < h.start || (e.offset - h.start) % h.accessSize != 0 || (e.offset - h.start) / h.accessSize >= blocks)) {
      problem = base::Format("entry %u: offset 0x%llX is not a block of the range", i,
                             static_cast<unsigned long long>(e.offset));
      return std::nullopt;
    }
    map.entries.push_back(e);
  }
  return map;
}

std::optional<uint64_t> GenerateMap(const MapRecipe& r, const std::function<uint32_t()>& seed,
                                    const std::function<bool(std::span<const MapEntry>)>& batch) {
  const uint64_t blocks = r.accessSize ? r.rangeBytes / r.accessSize : 0;
  if (blocks == 0) return 0;
  Generator tables(seed());
  TableCursor<uint8_t> random(RatioTable(kPercentTableSize, r.randRatio, tables));
  TableCursor<OperationKind> ops(OperationTable(r.trimRatio, r.fuaRatio, r.flushRatio, tables));
  uint64_t writesLeft = r.writes, made = 0, next = 0;
  std::vector<MapEntry> entries;
  entries.reserve(kMapBatchEntries);
  while (writesLeft > 0) {
    Generator g(seed());
    entries.clear();
    while (writesLeft > 0 && entries.size() < kMapBatchEntries) {
      const OperationKind op = ops.Next();
      if (op == OperationKind::Flush) {
        entries.push_back({0, MapKind::kFlush});
        continue;
      }
      if (op == OperationKind::Trim) {
        entries.push_back({r.start + RandomBlock(g, blocks) * r.accessSize, MapKind::kTrim});
        continue;
      }
      uint64_t block;
      if (random.Next()) {
        block = RandomBlock(g, blocks);
      } else {
        block = next;
        next = (next + 1) % blocks;
      }
      entries.push_back({r.start + block * r.accessSize, op == OperationKind::FuaWrite ? MapKind::kFuaWrite : MapKind::kWrite});
      --writesLeft;
    }
    made += entries.size();
    if (!batch(entries)) return std::nullopt;
  }
  return made;
}

MapReplay::MapReplay(const LbaMap& map, uint64_t issued, std::vector<uint64_t> uncertain, ReplayFacts facts)
    : map_(map), issued_(std::min<uint64_t>(issued, map.entries.size())), uncertain_(std::move(uncertain)),
      facts_(facts) {
  std::sort(uncertain_.begin(), uncertain_.end());
  blocks_.resize(map.Blocks());
  uint32_t order = 0;
  for (uint64_t i = 0; i < issued_; ++i) {
    const MapEntry& e = map.entries[i];
    if (e.kind == MapKind::kFlush) continue;
    BlockState& b = blocks_[map.BlockOf(e)];
    if (e.kind == MapKind::kTrim) {
      b.trimWrites = b.writes;
      b.trimmedLast = true;
    } else {
      b.lastOrder = ++order;
      ++b.writes;
      b.trimmedLast = false;
    }
    if (i < facts_.durable) {
      b.durableWrites = b.writes;
      b.durableTrimmed = b.trimmedLast;
    } else if (e.kind == MapKind::kTrim) {
      b.laterTrim = true;
    }
  }
}

bool MapReplay::Uncertain(uint64_t entry) const {
  return entry >= facts_.uncertainFrom || std::binary_search(uncertain_.begin(), uncertain_.end(), entry);
}

bool MapReplay::MayHoldAfterPowerLoss(uint64_t block, uint32_t count) const {
  const BlockState& b = blocks_[block];
  return count > b.durableWrites || (count == b.durableWrites && !b.durableTrimmed);
}

bool MapReplay::MayReadTrimmed(uint64_t block) const {
  const BlockState& b = blocks_[block];
  return b.durableTrimmed || b.laterTrim;
}

bool ReadsAsTrimmed(TrimPromise promise, std::span<const uint8_t> data) {
  switch (promise) {
    case TrimPromise::kZeros: return AllBytes(data, 0);
    case TrimPromise::kOnes: return AllBytes(data, 0xFF);
    default: return AllBytes(data, 0) || AllBytes(data, 0xFF);
  }
}

std::optional<MapReplay::Write> MapReplay::FindWrite(uint64_t block, uint32_t count) const {
  if (count == 0 || block >= blocks_.size() || count > blocks_[block].writes) return std::nullopt;
  uint32_t order = 0, seen = 0;
  for (uint64_t i = 0; i < issued_; ++i) {
    const MapEntry& e = map_.entries[i];
    if (e.kind == MapKind::kFlush || e.kind == MapKind::kTrim) continue;
    ++order;
    if (map_.BlockOf(e) == block && ++seen == count) return Write{order, Uncertain(i)};
  }
  return std::nullopt;
}

void BuildBlock(const BlockJudge& judge, uint64_t firstLba, uint32_t order, uint32_t count, std::span<uint8_t> out) {
  uint32_t state = 0;
  disk::FillPattern(out, order ? judge.writePattern : judge.basePattern, state);
  disk::StampExtendedMarks(out, firstLba, judge.sectorSize, order, order ? count : 0);
}

std::vector<SectorVerdict> JudgeBlock(const BlockJudge& judge, const MapReplay& replay, uint64_t block,
                                      uint64_t firstLba, std::span<const uint8_t> expected,
                                      std::span<const uint8_t> read) {
  const uint32_t ss = judge.sectorSize;
  const size_t sectors = read.size() / ss;
  const BlockState& state = replay.Block(block);
  std::vector<SectorVerdict> out(sectors, SectorVerdict::kCorrect);
  std::vector<uint8_t> base(ss), found(ss);
  // Whether every write of the block after its count-th was still in flight when the write stopped:
  // then the block may still hold what it held after that write.
  auto laterUncertain = [&](uint32_t count) {
    if (state.trimmedLast || count >= state.writes) return false;
    for (uint32_t later = count + 1; later <= state.writes; ++later) {
      const std::optional<MapReplay::Write> l = replay.FindWrite(block, later);
      if (!l || !l->uncertain) return false;
    }
    return true;
  };
  auto old = [&](uint32_t count) {
    return replay.MayHoldAfterPowerLoss(block, count) ? SectorVerdict::kOldNotDurable : SectorVerdict::kOldData;
  };
  for (size_t i = 0; i < sectors; ++i) {
    const auto got = read.subspan(i * ss, ss);
    const uint64_t lba = firstLba + i;
    if (std::memcmp(got.data(), expected.data() + i * ss, ss) == 0) continue;
    // A deallocated block reads back as the drive promised, or as zeros or ones as it chooses.
    const bool trimmedRead = ReadsAsTrimmed(judge.trimReads, got);
    if (state.trimmedLast && trimmedRead) continue;
    // A trim the power may have kept, or not yet made durable, explains a deallocated reading first:
    // the base pattern's first sector at LBA 0 with pattern 0 is all zeros too.
    if (trimmedRead && replay.MayReadTrimmed(block)) {
      out[i] = SectorVerdict::kOldNotDurable;
      continue;
    }
    BuildBlock(judge, lba, 0, 0, base);
    if (std::memcmp(got.data(), base.data(), ss) == 0) {
      if (!laterUncertain(0)) out[i] = old(0);
      continue;
    }
    if (AllBytes(got, 0)) {
      out[i] = SectorVerdict::kAllZero;
      continue;
    }
    if (MarkAt(got, 0) != lba) {
      out[i] = SectorVerdict::kMiscompare;
      continue;
    }
    const uint32_t count = static_cast<uint32_t>(MarkAt(got, 16));
    const std::optional<MapReplay::Write> w = replay.FindWrite(block, count);
    if (!w) {
      out[i] = SectorVerdict::kMiscompare;
      continue;
    }
    BuildBlock(judge, lba, w->order, count, found);
    if (std::memcmp(got.data(), found.data(), ss) != 0) {
      out[i] = SectorVerdict::kMiscompare;
      continue;
    }
    if (!w->uncertain && !laterUncertain(count)) out[i] = old(count);
  }
  return out;
}

}  // namespace kestrune::workloads
