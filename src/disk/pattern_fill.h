// Test data: the pattern fill of write buffers and the sector header marks stamped over the first
// bytes of each sector, so that a later read can tell where a sector's contents came from. Every
// command that writes test data fills its buffers through here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "engine/value.h"

namespace kestrune::disk {

// The text "AUTO" as a pattern parameter: its four letters read as a 32-bit value.
inline constexpr uint32_t kAutoPattern = 0x4F545541;

// A pattern parameter: a number from 0 to 0xFFFFFFFF, or the text "AUTO" (any case) as
// kAutoPattern; nullopt for anything else.
std::optional<uint32_t> PatternValue(const engine::Value& v);

// One step of the random generator: state <- state * 0x081E4F25 + 0xA2C6302D (mod 2^32). Returns the
// new state.
uint32_t StepRandom(uint32_t& state);

// Lays the pattern's bytes in big-endian order from the start of buffer, repeated; the last copy is
// cut short when the length is not a multiple of 4.
void LayPattern(std::span<uint8_t> buffer, uint32_t pattern);

// The fill of a write buffer: pattern 0 gives zeros; kAutoPattern draws v = state mod 0xFFFFFFFF
// from randomState and lays v's bytes in little-endian order; any other value is laid as it is.
// Returns the pattern used: the value whose big-endian bytes are the buffer's first four bytes.
uint32_t FillPattern(std::span<uint8_t> buffer, uint32_t pattern, uint32_t& randomState);
// The same with the process-wide generator state, which is 0 when the program starts and is never
// reseeded. Thread-safe.
uint32_t FillPattern(std::span<uint8_t> buffer, uint32_t pattern);

// Header marks, each field an unsigned 64-bit big-endian number at the start of every sector of
// buffer; the sector at index i carries the LBA firstLba + i. A mark that does not fit in the last
// (partial) sector is cut short.
// Short mark: the LBA (bytes 0-7).
void StampShortMarks(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t sectorSize);
// Long mark: the LBA, then the write sequence number of the request (bytes 8-15).
void StampLongMarks(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t sectorSize, uint64_t sequence);
// Extended mark: the LBA, then the first tag (bytes 8-15) and the second tag (bytes 16-23), each
// written only when it is not 0.
void StampExtendedMarks(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t sectorSize, uint64_t firstTag,
                        uint64_t secondTag);

// The sector block fill of the block write commands: the pattern laid as given (no "AUTO" draw) over
// the whole buffer and, with mark, the short mark on every sector.
void FillSectorBlock(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t pattern, bool mark,
                     uint32_t sectorSize);

}  // namespace kestrune::disk
