// The layouts of the maker's reading commands: the crash dump's length from its header, the
// critical log and the grown defect list, each with the bounds a drive's numbers must keep.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "devcmd/vendor_layouts.h"

namespace kestrune::devcmd {
namespace {

constexpr int32_t kBad = -90;
constexpr uint64_t GiB = 1ull << 30;

std::vector<uint8_t> DumpBlock(uint32_t signature, std::vector<uint32_t> sizes, uint32_t count) {
  std::vector<uint8_t> b(kVendorBlock, 0xEE);
  base::PutLe32(&b[3072], signature);
  base::PutLe32(&b[3076], count);
  for (size_t i = 0; i < sizes.size() && 3080 + 4 * i + 4 <= 3456; ++i) base::PutLe32(&b[3080 + 4 * i], sizes[i]);
  return b;
}

TEST(VendorLayouts, CrashDumpLengthFromItsHeader) {
  struct Case {
    const char* what;
    uint32_t signature;
    std::vector<uint32_t> sizes;
    uint32_t count;
    int32_t code;
    uint64_t bytes;
  };
  const std::vector<uint32_t> ninetyFour(94, 1);
  const Case cases[] = {
      {"sizes rounded up, a block per section", 0x5A5B5C5D, {5120, 2560, 2560}, 3, 1, 3 * 4096 + 8192 + 4096 + 4096},
      {"an empty section still takes its block", 0x5A5B5C5D, {0}, 1, 1, 4096},
      {"whole blocks stay as they are", 0x5A5B5C5D, {8192}, 1, 1, 4096 + 8192},
      {"the most sections the header holds", 0x5A5B5C5D, ninetyFour, 94, 1, 94 * 8192},
      {"one section more than the header holds", 0x5A5B5C5D, ninetyFour, 95, kBad, 0},
      {"no section", 0x5A5B5C5D, {}, 0, kBad, 0},
      {"exactly 4 GiB", 0x5A5B5C5D, {0xFFFFF000u}, 1, 1, 4 * GiB},
      {"one block above 4 GiB", 0x5A5B5C5D, {0xFFFFF001u}, 1, kBad, 0},
      {"sizes that would wrap a 32-bit sum", 0x5A5B5C5D, {0xFFFFFFFFu, 0xFFFFFFFFu}, 2, kBad, 0},
      {"no signature", 0x5A5B5C5C, {4096}, 1, kBad, 0},
  };
  for (const Case& c : cases) {
    const DriveSize got = CrashDumpLength(DumpBlock(c.signature, c.sizes, c.count));
    EXPECT_EQ(got.code, c.code) << c.what;
    if (c.code == 1) EXPECT_EQ(got.bytes, c.bytes) << c.what;
  }
  std::vector<uint8_t> shortBlock = DumpBlock(0x5A5B5C5D, {4096}, 1);
  shortBlock.resize(3456);
  EXPECT_FALSE(HasDumpHeader(shortBlock));
  EXPECT_EQ(CrashDumpLength(shortBlock).code, kBad);
}

std::vector<uint8_t> CriticalLog(uint64_t length, uint32_t entries, size_t bytes = kVendorBlock) {
  std::vector<uint8_t> log(bytes, 0);
  std::memcpy(log.data(), "CLOG", 4);
  base::PutLe64(&log[8], length);
  base::PutLe32(&log[16], entries);
  for (uint32_t i = 0; i < entries && 64 + 16 * i + 16 <= bytes; ++i) {
    base::PutLe64(&log[64 + 16 * i], 100 + i);
    base::PutLe32(&log[72 + 16 * i], 0xC0DE0000 | i);
    base::PutLe32(&log[76 + 16 * i], i);
  }
  return log;
}

TEST(VendorLayouts, CriticalLogLengthAndEntriesWithinIt) {
  struct Case {
    const char* what;
    uint64_t length;
    int32_t code;
  };
  const Case lengths[] = {
      {"one page", 4096, 1},
      {"less than its own page", 4095, kBad},
      {"4 GiB", 4 * GiB, 1},
      {"above 4 GiB", 4 * GiB + 1, kBad},
  };
  for (const Case& c : lengths) EXPECT_EQ(CriticalLogLength(CriticalLog(c.length, 0)).code, c.code) << c.what;
  std::vector<uint8_t> unsigned_ = CriticalLog(4096, 0);
  unsigned_[0] = 'X';
  EXPECT_EQ(CriticalLogLength(unsigned_).code, kBad);

  std::vector<CriticalEntry> entries;
  ASSERT_EQ(CriticalLogEntries(CriticalLog(4096, 3), entries), 1);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].seconds, 102u);
  EXPECT_EQ(entries[2].code, 0xC0DE0002u);
  EXPECT_EQ(entries[2].parameter, 2u);
  // 252 entries fill one page after the header; one more runs past the page read.
  EXPECT_EQ(CriticalLogEntries(CriticalLog(4096, 252), entries), 1);
  EXPECT_EQ(entries.size(), 252u);
  EXPECT_EQ(CriticalLogEntries(CriticalLog(4096, 253), entries), kBad);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(CriticalLogEntries(CriticalLog(8192, 253, 8192), entries), 1);
  EXPECT_EQ(CriticalLogEntries(CriticalLog(4096, 0xFFFFFFFF), entries), kBad);
}

TEST(VendorLayouts, GrownDefectsWithinThePage) {
  std::vector<uint8_t> page(kVendorBlock, 0);
  page[0] = 0x5A;
  const uint8_t first[8] = {2, 1, 3, 1, 0x34, 0x12, 0, 0};
  std::memcpy(&page[16], first, 8);
  std::vector<GrownDefect> defects;
  struct Case {
    uint16_t count;
    int32_t code;
  };
  for (const Case c : {Case{0, 1}, Case{1, 1}, Case{510, 1}, Case{511, kBad}, Case{0xFFFF, kBad}}) {
    base::PutLe16(&page[2], c.count);
    EXPECT_EQ(GrownDefects(page, defects), c.code) << c.count;
    EXPECT_EQ(defects.size(), c.code == 1 ? c.count : 0u) << c.count;
  }
  base::PutLe16(&page[2], 1);
  ASSERT_EQ(GrownDefects(page, defects), 1);
  EXPECT_EQ(defects[0].channel, 2);
  EXPECT_EQ(defects[0].ce, 1);
  EXPECT_EQ(defects[0].lun, 3);
  EXPECT_EQ(defects[0].plane, 1);
  EXPECT_EQ(defects[0].block, 0x1234);
  page[0] = 0;
  EXPECT_EQ(GrownDefects(page, defects), kBad);
}

}  // namespace
}  // namespace kestrune::devcmd
