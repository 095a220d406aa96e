// Ratio tables: tables in which an exact number of entries are of a kind, at shuffled positions, so
// that every run of table-size consecutive requests holds exactly that share of the kind. A cursor
// walks a table round and round.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <utility>
#include <vector>

#include "workloads/random_source.h"

namespace kestrune::workloads {

// Size of the direction and placement tables of the throughput engine (ratios in percent).
inline constexpr uint32_t kPercentTableSize = 100;
// Size of the operation tables of the verify and map engines (ratios in 1/10,000).
inline constexpr uint32_t kOperationTableSize = 10000;

// count entries, exactly min(ratio, count) of them 1 and the rest 0, the 1s at positions drawn from
// generator.
std::vector<uint8_t> RatioTable(uint32_t count, uint32_t ratio, Generator& generator);

// The kinds of an operation table.
enum class OperationKind : uint8_t { Write = 0, Trim = 1, FuaWrite = 2, Flush = 3 };

// kOperationTableSize entries: trimRatio Trim, fuaRatio FuaWrite and flushRatio Flush entries at
// drawn positions, the rest Write. Ratios are in 1/10,000; when they add up to more than the table,
// the kinds are placed in that order until it is full.
std::vector<OperationKind> OperationTable(uint32_t trimRatio, uint32_t fuaRatio, uint32_t flushRatio,
                                          Generator& generator);

// The mixed request sizes of the overlap compare and the enterprise endurance workload: sizes in
// bytes and how many entries of a 100-entry table have each (4 % of 512 bytes, 67 % of 4 KiB, ...).
struct MixedSize {
  uint32_t bytes;
  uint32_t entries;
};
inline constexpr MixedSize kMixedSizes[] = {{512, 4},  {1024, 1},  {1536, 1},  {2048, 1},  {2560, 1},  {3072, 1},
                                            {3584, 1}, {4096, 67}, {8192, 10}, {16384, 7}, {32768, 3}, {65536, 3}};
inline constexpr size_t kMixedSizeCount = std::size(kMixedSizes);

// A table in which kind i appears entries[i] times, in an order shuffled by generator.
std::vector<uint8_t> ShuffledKinds(std::span<const uint32_t> entries, Generator& generator);

// kPercentTableSize entries holding the index (into kMixedSizes) of each entry's size, each size as
// often as kMixedSizes says, in an order shuffled by generator.
std::vector<uint8_t> MixedSizeTable(Generator& generator);

// Walks a table from its first entry, one entry per Next, wrapping at the end. The table must not
// be empty. Not thread-safe: each worker owns its cursors.
template <typename Entry>
class TableCursor {
 public:
  explicit TableCursor(std::vector<Entry> table) : table_(std::move(table)) {}
  Entry Next() {
    const Entry e = table_[position_];
    position_ = (position_ + 1) % table_.size();
    return e;
  }

 private:
  std::vector<Entry> table_;
  size_t position_ = 0;
};

}  // namespace kestrune::workloads
