// Ratio tables: tables in which an exact number of entries are of a kind, at shuffled positions, so
// that every run of table-size consecutive requests holds exactly that share of the kind. A cursor
// walks a table round and round.
#pragma once

#include <cstddef>
#include <cstdint>
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
