#include "workloads/ratio_table.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <numeric>
#include <utility>

namespace kestrune::workloads {
namespace {

// Sets table entries to each (kind, count) in turn, count entries at positions drawn from the ones
// still free; placing stops when no position is left.
template <typename Entry>
void PlaceKinds(std::vector<Entry>& table, std::initializer_list<std::pair<Entry, uint32_t>> kinds,
                Generator& generator) {
  std::vector<uint32_t> free(table.size());
  std::iota(free.begin(), free.end(), 0u);
  for (const auto& [kind, count] : kinds) {
    for (uint32_t n = 0; n < count && !free.empty(); ++n) {
      const uint32_t pick = generator.Below(static_cast<uint32_t>(free.size()));
      table[free[pick]] = kind;
      free[pick] = free.back();  // the order of the free list does not matter, only its members
      free.pop_back();
    }
  }
}

}  // namespace

std::vector<uint8_t> RatioTable(uint32_t count, uint32_t ratio, Generator& generator) {
  std::vector<uint8_t> table(count, ratio >= count ? 1 : 0);
  if (ratio < count) PlaceKinds<uint8_t>(table, {{1, ratio}}, generator);
  return table;
}

std::vector<OperationKind> OperationTable(uint32_t trimRatio, uint32_t fuaRatio, uint32_t flushRatio,
                                          Generator& generator) {
  std::vector<OperationKind> table(kOperationTableSize, OperationKind::Write);
  PlaceKinds<OperationKind>(table,
                            {{OperationKind::Trim, trimRatio},
                             {OperationKind::FuaWrite, fuaRatio},
                             {OperationKind::Flush, flushRatio}},
                            generator);
  return table;
}

std::vector<uint8_t> ShuffledKinds(std::span<const uint32_t> entries, Generator& generator) {
  std::vector<uint8_t> table;
  for (size_t i = 0; i < entries.size(); ++i) table.insert(table.end(), entries[i], static_cast<uint8_t>(i));
  for (size_t i = table.size(); i > 1; --i) std::swap(table[i - 1], table[generator.Below(static_cast<uint32_t>(i))]);
  return table;
}

std::vector<uint8_t> MixedSizeTable(Generator& generator) {
  std::array<uint32_t, kMixedSizeCount> entries{};
  for (size_t i = 0; i < kMixedSizeCount; ++i) entries[i] = kMixedSizes[i].entries;
  return ShuffledKinds(entries, generator);
}

}  // namespace kestrune::workloads
