// The portable parts of searching a disk for a byte string: the search string, the range read, the
// sectors of a read that hold the string, and the command's lines (the range read is ToDiskEnd). The reads go
// through the engine's queue.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "workloads/byte_range.h"

namespace kestrune::workloads {

// Bytes of one search read (the last one reads what remains).
inline constexpr uint32_t kSearchReadBytes = 1024 * 1024;
// Hits after which the search cancels the view.
inline constexpr uint32_t kMaxFoundSectors = 21;

// COLORREFs of the found line (yellow), the cancel line (cyan) and the too-many line (grey).
inline constexpr uint32_t kFoundLineColour = 0x00FFFF;
inline constexpr uint32_t kSearchCancelColour = 0xFFFF00;
inline constexpr uint32_t kTooManyFoundColour = 0x969696;
inline constexpr const char* kTooManyFoundLine = "Cancel by too many LBAs found";

// The bytes searched for: a value up to 0xFFFFFFFE as its low 32 bits in 4 big-endian bytes, a larger
// one as all 64 bits in 8 big-endian bytes.
std::vector<uint8_t> SearchString(uint64_t findPattern);

// Indices of the sectors of data that hold needle at any byte position inside the sector; a string
// across two sectors is not found. An empty needle is found nowhere.
std::vector<uint32_t> SectorsHolding(std::span<const uint8_t> data, uint32_t sectorSize,
                                     std::span<const uint8_t> needle);

// "Search Pattern Byte List: %s" with every byte as "%02X ".
std::string SearchByteListLine(std::span<const uint8_t> needle);
// "[%d] Finound LBA : 0x%I64X": hit number from 0 and the sector's LBA.
std::string FoundLbaLine(uint32_t hit, uint64_t lba);
// "Cancel LBA : 0x%I64X" with the LBA after the last read.
std::string CancelLbaLine(uint64_t lba);
// "Progress : %d%%", the status text.
std::string SearchProgressText(uint32_t percent);

}  // namespace kestrune::workloads
