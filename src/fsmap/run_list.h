// NTFS mapping pairs (the run list of a non-resident attribute) and the update-sequence fix-up of
// multi-sector records: pure functions over bytes, with every length checked.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrune::fsmap {

inline constexpr int64_t kSparseLcn = -1;

// One run: clusters from vcn onward lie at lcn onward (kSparseLcn: a hole, nothing on disk).
struct Run {
  int64_t vcn = 0;
  int64_t lcn = 0;
  uint64_t clusters = 0;
  bool operator==(const Run&) const = default;
};

struct RunListResult {
  std::vector<Run> runs;
  std::string error;  // empty when the list decoded to its end
};

// Decodes mapping pairs from startVcn on. Each pair: a header byte (low nibble the size of the
// length, high nibble the size of the offset, 0 = a sparse run), the length (unsigned, above 0)
// and the offset, signed and relative to the previous run's start. A zero header ends the list;
// running out of bytes before it, a field over 8 bytes, a length of 0 or below, an LCN below 0 or
// overflowing, or more than maxRuns runs is an error (the runs up to it are kept).
RunListResult DecodeRunList(std::span<const uint8_t> pairs, int64_t startVcn, size_t maxRuns = 65536);

// Encodes runs as mapping pairs with the terminating zero byte (for lab images and tests).
std::vector<uint8_t> EncodeRunList(std::span<const Run> runs);

enum class FixupStatus : uint8_t {
  kOk,
  kBadArray,     // the update sequence array does not fit the record or has the wrong size
  kBadCheckWord, // a stride's last two bytes differ from the update sequence number
};

struct FixupResult {
  FixupStatus status = FixupStatus::kOk;
  uint32_t stride = 0;  // the stride (0-based) whose check word failed
};

// Checks and restores the last two bytes of every 512-byte stride of record from its update
// sequence array. record.size() is a multiple of 512. The record is changed only when all strides pass.
FixupResult ApplyFixup(std::span<uint8_t> record);

// The reverse (for lab images and tests): stores each stride's last two bytes in the array and puts
// the update sequence number in their place.
bool ProtectRecord(std::span<uint8_t> record, uint16_t sequenceNumber);

}  // namespace kestrune::fsmap
