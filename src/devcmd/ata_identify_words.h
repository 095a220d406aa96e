// IdentifyEx's dump of IDENTIFY DEVICE: the 95 word rows of the ATA command set's layout in order,
// each with its bit rows, within a StartWord-EndWord window.
#pragma once

#include <cstdint>
#include <span>

#include "devcmd/line_sink.h"

namespace kestrune::devcmd {

inline constexpr uint32_t kIdentifyWordRows = 95;

// Prints every row whose first word w has start <= w <= end, in white. After the rows of word 49
// the sink's cancel is examined: when set, "---- Cancel Command ----" in cyan ends the dump and the
// result is false.
bool DumpIdentifyWords(LineSink& sink, std::span<const uint8_t> data, uint32_t start, uint32_t end);

}  // namespace kestrune::devcmd
