#include "disk/pattern_fill.h"

#include <algorithm>
#include <atomic>

#include "base/text.h"

namespace kestrune::disk {
namespace {

constexpr uint32_t kMultiplier = 0x081E4F25;
constexpr uint32_t kIncrement = 0xA2C6302D;
constexpr size_t kMarkField = 8;

std::atomic<uint32_t> processState{0};

// Writes value big-endian at buffer[at], cut at the buffer's end.
void PutBe64Cut(std::span<uint8_t> buffer, size_t at, uint64_t value) {
  for (size_t i = 0; i < kMarkField && at + i < buffer.size(); ++i)
    buffer[at + i] = static_cast<uint8_t>(value >> (8 * (kMarkField - 1 - i)));
}

uint32_t ByteSwap(uint32_t v) { return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24); }

// The value an "AUTO" fill lays down from a generator state.
uint32_t RandomPattern(uint32_t state) { return state % 0xFFFFFFFFu; }

// Lays a pattern drawn from state (little-endian bytes, reported big-endian); other patterns as given.
uint32_t FillWith(std::span<uint8_t> buffer, uint32_t pattern, uint32_t drawnState) {
  const uint32_t laid = pattern == kAutoPattern ? ByteSwap(RandomPattern(drawnState)) : pattern;
  if (laid == 0)
    std::fill(buffer.begin(), buffer.end(), uint8_t{0});
  else
    LayPattern(buffer, laid);
  return laid;
}

template <typename PerSector>
void ForEachSector(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t sectorSize, PerSector stamp) {
  if (sectorSize == 0) return;
  for (size_t at = 0, i = 0; at < buffer.size(); at += sectorSize, ++i) stamp(at, firstLba + i);
}

}  // namespace

std::optional<uint32_t> PatternValue(const engine::Value& v) {
  if (v.IsText()) {
    if (base::EqualsNoCase(base::Trim(v.text), "AUTO")) return kAutoPattern;
    return std::nullopt;
  }
  if (!v.IsNumeric()) return std::nullopt;
  if (v.number < 0 || v.number > 0xFFFFFFFFLL) return std::nullopt;
  return static_cast<uint32_t>(v.number);
}

uint32_t StepRandom(uint32_t& state) {
  state = state * kMultiplier + kIncrement;
  return state;
}

void LayPattern(std::span<uint8_t> buffer, uint32_t pattern) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(pattern >> 24), static_cast<uint8_t>(pattern >> 16),
                            static_cast<uint8_t>(pattern >> 8), static_cast<uint8_t>(pattern)};
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = bytes[i % 4];
}

uint32_t FillPattern(std::span<uint8_t> buffer, uint32_t pattern, uint32_t& randomState) {
  const uint32_t drawn = pattern == kAutoPattern ? StepRandom(randomState) : 0;
  return FillWith(buffer, pattern, drawn);
}

uint32_t FillPattern(std::span<uint8_t> buffer, uint32_t pattern) {
  uint32_t drawn = 0;
  if (pattern == kAutoPattern) {
    uint32_t old = processState.load();
    uint32_t next;
    do {
      next = old;
      StepRandom(next);
    } while (!processState.compare_exchange_weak(old, next));
    drawn = next;
  }
  return FillWith(buffer, pattern, drawn);
}

void StampShortMarks(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t sectorSize) {
  ForEachSector(buffer, firstLba, sectorSize, [&](size_t at, uint64_t lba) { PutBe64Cut(buffer, at, lba); });
}

void StampLongMarks(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t sectorSize, uint64_t sequence) {
  ForEachSector(buffer, firstLba, sectorSize, [&](size_t at, uint64_t lba) {
    PutBe64Cut(buffer, at, lba);
    PutBe64Cut(buffer, at + kMarkField, sequence);
  });
}

void StampExtendedMarks(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t sectorSize, uint64_t firstTag,
                        uint64_t secondTag) {
  ForEachSector(buffer, firstLba, sectorSize, [&](size_t at, uint64_t lba) {
    PutBe64Cut(buffer, at, lba);
    if (firstTag != 0) PutBe64Cut(buffer, at + kMarkField, firstTag);
    if (secondTag != 0) PutBe64Cut(buffer, at + 2 * kMarkField, secondTag);
  });
}

void FillSectorBlock(std::span<uint8_t> buffer, uint64_t firstLba, uint32_t pattern, bool mark,
                     uint32_t sectorSize) {
  LayPattern(buffer, pattern);
  if (mark) StampShortMarks(buffer, firstLba, sectorSize);
}

}  // namespace kestrune::disk
