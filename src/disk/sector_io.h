// Sector I/O on one path of the current disk: synchronous read, write (with or without forced unit
// access), trim, cache flush and the queries of the disk session. Every operation opens its own
// handle, works, and closes it before returning; results are completion codes, 1 = success.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/completion_codes.h"
#include "platform/device.h"

namespace kestrune::disk {

inline constexpr int32_t kIoDone = 1;

// A read or write goes to the drive as one request, whose length is a 32-bit number.
inline constexpr uint64_t kMaxRequestBytes = 0xFFFFFFFFULL;

struct ByteRange {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// The bytes of count sectors from lba. nullopt when sectorSize is 0, count is negative, the offset
// or the end of the range does not fit in 64 bits, or the length exceeds kMaxRequestBytes.
std::optional<ByteRange> SectorBytes(uint64_t lba, int64_t count, uint32_t sectorSize);

// True when range lies wholly within the first extent bytes.
inline bool WithinExtent(ByteRange range, uint64_t extent) {
  return range.offset <= extent && range.length <= extent - range.offset;
}

// The bytes TRIM deallocates: from lba × sectorSize, count × sectorSize bytes; a count of 0, or one
// that runs past usableBytes, is cut to the end. nullopt when the start is at or past the end.
std::optional<ByteRange> TrimBytes(uint64_t lba, uint64_t count, uint32_t sectorSize, uint64_t usableBytes);

// Reads count sectors at lba of path into buffer (at least count × sectorSize bytes; a buffer that
// is not page-aligned goes through an aligned one). 1; -2 for a count of 0 or below, a range that
// does not fit (SectorBytes) or runs past the end the device reports, or a short buffer; -1 when
// the path does not open; -3 when the read fails or moves fewer bytes than asked.
int32_t ReadSectors(platform::DeviceTree& tree, const std::string& path, uint64_t lba, int32_t count,
                    std::span<uint8_t> buffer, uint32_t sectorSize);

// Writes count sectors of data at lba of path, with forced unit access when fua is set. Codes as
// ReadSectors, with -4 for a failed or short write. A count of 0 is refused (-2): a write of nothing
// would report success for a request that wrote no sector.
int32_t WriteSectors(platform::DeviceTree& tree, const std::string& path, uint64_t lba, int32_t count,
                     std::span<const uint8_t> data, uint32_t sectorSize, bool fua);

// Deallocates length bytes at offset through an open handle. 1; -74 when the request fails.
int32_t TrimRange(platform::Device& device, uint64_t offset, uint64_t length);

// Flushes the write cache of the drive behind path. 1; -1 when the path does not open; -74 when
// the flush fails.
int32_t FlushDevice(platform::DeviceTree& tree, const std::string& path);

// Whether path opens for reading and writing.
bool DeviceOpens(platform::DeviceTree& tree, const std::string& path);

// Whether the write cache of the drive behind path is enabled; false when the path does not open
// or the query fails.
bool WriteCacheState(platform::DeviceTree& tree, const std::string& path);

// 1 when the drive behind path supports trim, 0 when not; -1 when the path does not open; -74 when
// the query fails.
int32_t TrimSupported(platform::DeviceTree& tree, const std::string& path);

}  // namespace kestrune::disk
