// The SMART / Health Information log page (log 02h, 512 bytes) through its row table: the standard
// fields and the maker's vendor-specific bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "devcmd/line_sink.h"
#include "engine/value.h"

namespace kestrune::devcmd {

inline constexpr size_t kSmartPageBytes = 512;
// The last byte the row table covers.
inline constexpr int32_t kSmartTableEnd = 451;

struct SmartRow {
  int32_t offset = 0;
  std::string_view description;  // at most 41 characters
  uint8_t size = 0;              // size code: 0 one byte, 5 two, 8 four, 11 eight
  uint32_t colour = 0;
  std::string_view cls;  // "standard", "vendor" or "vendor|LevelC"
};

// The 94 rows in offset order.
std::span<const SmartRow> SmartRows();

// Which rows ShowVSC lets through: 1 all, 2 the standard rows and those of class LevelC, any other
// value the standard rows only.
bool SmartRowShown(const SmartRow& row, int64_t showVsc);

// Prints the page. Without items: the header and every row ShowVSC lets through; with items only
// the rows whose offset ("|%d|") the normalised items name, labelled "Byte %d", and their hex texts
// joined by "," become the result (a number when it is one value that reads as one). Without items
// the result is an empty text.
engine::Value DecodeSmart(LineSink& sink, std::span<const uint8_t> page, int64_t showVsc,
                          std::string_view items);

}  // namespace kestrune::devcmd
