// A range of disk bytes walked one request at a time, and the whole percentage of it done, for the
// commands that fill or read a range with progress lines.
#pragma once

#include <cstdint>
#include <optional>

namespace kestrune::workloads {

inline constexpr uint64_t kMiB = uint64_t{1} << 20;

// The bytes [first, end) of a disk.
struct ByteRange {
  uint64_t first = 0;
  uint64_t end = 0;

  uint64_t size() const { return end - first; }
};

// The bytes from lba to the disk's last whole sector; nullopt when lba is at or past it or the sector
// size is 0.
std::optional<ByteRange> ToDiskEnd(uint64_t lba, uint32_t sectorSize, uint64_t capacityBytes);

// The length of the request at offset: min(end - offset, maxBytes); 0 at or past the end.
uint32_t RequestLength(const ByteRange& range, uint64_t offset, uint32_t maxBytes);

// Follows the whole percentage of a range done. Starts at 0 percent.
class PercentTracker {
 public:
  explicit PercentTracker(const ByteRange& range) : range_(range) {}

  // Notes that the range is done up to offset. True when the whole percentage changed; percent()
  // is then the new value.
  bool Advance(uint64_t offset);
  uint32_t percent() const { return percent_; }

 private:
  ByteRange range_;
  uint32_t percent_ = 0;
};

}  // namespace kestrune::workloads
