// The portable parts of filling a range of the disk with a pattern: which bytes are written, the
// request buffer's header marks and the command's lines. The writes themselves go through the
// engine's queue.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "workloads/byte_range.h"

namespace kestrune::workloads {

// Bytes of one fill request (and of the buffer filled once with the pattern).
inline constexpr uint32_t kFillRequestBytes = 128 * 1024;

// COLORREFs of the pattern line (cyan) and of the progress line (grey).
inline constexpr uint32_t kPatternLineColour = 0xFFFF00;
inline constexpr uint32_t kFillProgressColour = 0x969696;

// The bytes to fill: from lba for range MiB (rangeInMiB, the parameter named RangeMB) or range
// sectors; a range of 0, or one that runs past the end of the disk, is cut to the end of the disk
// (its last whole sector). nullopt when lba is at or past that end or the sector size is 0.
std::optional<ByteRange> FillRange(uint64_t lba, uint64_t range, bool rangeInMiB, uint32_t sectorSize,
                                   uint64_t capacityBytes);

// Stamps the short mark of the sectors at offset on the request's bytes of the filled buffer.
void MarkFillRequest(std::span<uint8_t> request, uint64_t offset, uint32_t sectorSize);

// "Pattern     : 0x%08X" with the pattern the fill used.
std::string PatternLine(uint32_t patternUsed);
// "Full By Pattern : %d%%".
std::string FillProgressLine(uint32_t percent);

}  // namespace kestrune::workloads
