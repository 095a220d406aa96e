// ReadBytes, which every read of the NTFS walker goes through: any byte range comes back whole,
// in requests of whole sectors of at most 1 MiB, and a failed or short read ends it with its code.
#include <gtest/gtest.h>

#include <vector>

#include "fsmap/sector_source.h"

namespace kestrune::fsmap {
namespace {

// Bytes in memory that count the requests and may fail the request reaching one sector.
class CountingSource final : public SectorSource {
 public:
  CountingSource(std::span<const uint8_t> bytes, uint32_t sectorSize, uint64_t failAt)
      : inner_(bytes, sectorSize), failAt_(failAt) {}
  uint32_t SectorSize() const override { return inner_.SectorSize(); }
  uint64_t SectorCount() const override { return inner_.SectorCount(); }
  int32_t Read(uint64_t sector, uint32_t count, std::span<uint8_t> out) override {
    ++requests;
    largest = std::max<uint64_t>(largest, uint64_t{count} * SectorSize());
    if (out.size() < uint64_t{count} * SectorSize()) ++tooSmall;
    if (failAt_ >= sector && failAt_ < sector + count) return -3;
    return inner_.Read(sector, count, out);
  }
  int requests = 0;
  int tooSmall = 0;
  uint64_t largest = 0;

 private:
  ByteSource inner_;
  uint64_t failAt_;
};

TEST(ReadBytes, WholeRangesInRequestsOfAtMostOneMebibyte) {
  std::vector<uint8_t> disk(5u << 20);
  for (size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  constexpr uint64_t kNever = ~uint64_t{0};
  const struct {
    const char* what;
    uint32_t sectorSize;
    uint64_t offset;
    size_t length;
    uint64_t failAt;  // sector whose request fails
    int32_t code;
    int requests;     // -1: not counted
  } cases[] = {
      {"one byte inside a sector", 512, 1000, 1, kNever, 1, 1},
      {"a sector's worth across two", 512, 700, 512, kNever, 1, 1},
      {"3 MiB unaligned at 512", 512, 513, 3u << 20, kNever, 1, 4},
      {"3 MiB aligned at 4096", 4096, 4096, 3u << 20, kNever, 1, 3},
      {"4 MiB unaligned at 4096", 4096, 4095, 4u << 20, kNever, 1, 5},
      {"to the last byte", 4096, (5u << 20) - 10, 10, kNever, 1, 1},
      {"past the end", 512, (5u << 20) - 10, 11, kNever, -2, -1},
      {"the second request fails", 512, 0, 2u << 20, 2048 + 5, -3, 2},
      {"an offset that wraps", 512, ~uint64_t{0} - 100, 1024, kNever, -2, -1},
      {"nothing asked", 512, 12345, 0, kNever, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CountingSource source(disk, c.sectorSize, c.failAt);
    std::vector<uint8_t> out(c.length, 0xEE);
    EXPECT_EQ(ReadBytes(source, c.offset, out), c.code);
    EXPECT_LE(source.largest, kMaxReadBytes);
    EXPECT_EQ(source.tooSmall, 0);
    if (c.requests >= 0) EXPECT_EQ(source.requests, c.requests);
    if (c.code == 1 && c.length)
      EXPECT_TRUE(std::equal(out.begin(), out.end(), disk.begin() + static_cast<ptrdiff_t>(c.offset)));
  }
}

}  // namespace
}  // namespace kestrune::fsmap
