#include "workloads/pattern_search.h"

#include <gtest/gtest.h>

namespace kestrune::workloads {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(SearchString, FourBigEndianBytesUpTo0xFFFFFFFEElseEight) {
  struct Case {
    uint64_t pattern;
    Bytes bytes;
    const char* line;
  };
  const Case cases[] = {
      {0x55AAFF00, {0x55, 0xAA, 0xFF, 0x00}, "Search Pattern Byte List: 55 AA FF 00 "},
      {0xFFFFFFFE, {0xFF, 0xFF, 0xFF, 0xFE}, "Search Pattern Byte List: FF FF FF FE "},
      {0xFFFFFFFF,
       {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},
       "Search Pattern Byte List: 00 00 00 00 FF FF FF FF "},
      {0x0102030405060708, {1, 2, 3, 4, 5, 6, 7, 8}, "Search Pattern Byte List: 01 02 03 04 05 06 07 08 "},
      {0, {0, 0, 0, 0}, "Search Pattern Byte List: 00 00 00 00 "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SearchString(c.pattern), c.bytes) << std::hex << c.pattern;
    EXPECT_EQ(SearchByteListLine(c.bytes), c.line);
  }
}

TEST(SectorsHolding, FindsTheStringAnywhereInsideOneSectorButNotAcrossTwo) {
  const Bytes needle = SearchString(0x55AAFF00);
  Bytes data(4 * 4096, 0);
  auto put = [&](size_t at) { std::copy(needle.begin(), needle.end(), data.begin() + at); };
  put(10);               // sector 0
  put(4096 + 4094);      // across sectors 1 and 2
  put(3 * 4096 + 4092);  // the last bytes of sector 3
  EXPECT_EQ(SectorsHolding(data, 4096, needle), (std::vector<uint32_t>{0, 3}));
  EXPECT_EQ(SectorsHolding(data, 512, needle), (std::vector<uint32_t>{0, 31}))
      << "the crossing one still crosses";
  EXPECT_TRUE(SectorsHolding(data, 4096, {}).empty());
}

TEST(SectorsHolding, StringsOfAnyLengthOnlyWhereTheyWhollyAre) {
  // Each string put at the very end of sector 1, and all but its last byte at the end of sector 2.
  for (size_t length : {1u, 3u, 4u, 8u, 9u, 16u}) {
    Bytes needle(length);
    for (size_t i = 0; i < length; ++i) needle[i] = static_cast<uint8_t>(0xA0 + i);
    Bytes data(3 * 512, 0);
    std::copy(needle.begin(), needle.end(), data.begin() + 2 * 512 - length);
    std::copy(needle.begin(), needle.end() - 1, data.begin() + 3 * 512 - length + 1);
    EXPECT_EQ(SectorsHolding(data, 512, needle), (std::vector<uint32_t>{1})) << length;
    EXPECT_EQ(SectorsHolding(std::span(data).first(2 * 512 - 1), 512, needle), (std::vector<uint32_t>{}))
        << length << ": a sector cut short before the last byte";
  }
  const Bytes zeros(512, 0);
  EXPECT_EQ(SectorsHolding(zeros, 512, SearchString(0)), (std::vector<uint32_t>{0}));
  EXPECT_TRUE(SectorsHolding(zeros, 512, SearchString(0xFFFFFFFF)).empty());
}

TEST(SearchLines, TheCommandsOwnTexts) {
  EXPECT_EQ(FoundLbaLine(0, 0x123456789A), "[0] Finound LBA : 0x123456789A");
  EXPECT_EQ(FoundLbaLine(20, 7), "[20] Finound LBA : 0x7");
  EXPECT_EQ(CancelLbaLine(0x800), "Cancel LBA : 0x800");
  EXPECT_EQ(SearchProgressText(42), "Progress : 42%");
  const auto range = ToDiskEnd(8, 4096, 100 * kMiB + 100);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->size(), 100 * kMiB - 8 * 4096) << "to the last whole sector";
  EXPECT_EQ(RequestLength(*range, range->first, kSearchReadBytes), kSearchReadBytes);
}

}  // namespace
}  // namespace kestrune::workloads
