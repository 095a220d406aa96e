#include "disk/pattern_fill.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrune::disk {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

TEST(LayPattern, RepeatsTheBigEndianBytesAndCutsTheLastCopy) {
  struct Case {
    uint32_t pattern;
    size_t length;
    Bytes expected;
  };
  const Case cases[] = {
      {0x55AA33CC, 6, {0x55, 0xAA, 0x33, 0xCC, 0x55, 0xAA}},
      {0x55AA33CC, 8, {0x55, 0xAA, 0x33, 0xCC, 0x55, 0xAA, 0x33, 0xCC}},
      {0x01020304, 3, {0x01, 0x02, 0x03}},
      {0x01020304, 0, {}},
  };
  for (const Case& c : cases) {
    Bytes b(c.length, 0xEE);
    LayPattern(b, c.pattern);
    EXPECT_EQ(b, c.expected) << std::hex << c.pattern << " length " << c.length;
  }
}

TEST(FillPattern, ZeroClearsAndAnyOtherValueIsLaidAsGiven) {
  uint32_t state = 0;
  Bytes b(8, 0xEE);
  EXPECT_EQ(FillPattern(b, 0, state), 0u);
  EXPECT_EQ(b, Bytes(8, 0));
  EXPECT_EQ(FillPattern(b, 0x55AAFF00, state), 0x55AAFF00u);
  EXPECT_EQ(b, (Bytes{0x55, 0xAA, 0xFF, 0x00, 0x55, 0xAA, 0xFF, 0x00}));
  EXPECT_EQ(state, 0u) << "a given pattern draws nothing";
}

TEST(FillPattern, AutoDrawsFromTheGeneratorAndLaysLittleEndian) {
  uint32_t state = 0;  // as at program start
  Bytes b(8);
  EXPECT_EQ(FillPattern(b, kAutoPattern, state), 0x2D30C6A2u);
  EXPECT_EQ(b, (Bytes{0x2D, 0x30, 0xC6, 0xA2, 0x2D, 0x30, 0xC6, 0xA2}));
  EXPECT_EQ(FillPattern(b, kAutoPattern, state), 0xAE098F5Fu);
  EXPECT_EQ(Slice(b, 0, 4), (Bytes{0xAE, 0x09, 0x8F, 0x5F}));
}

TEST(StepRandom, FollowsTheLinearCongruence) {
  uint32_t state = 0;
  EXPECT_EQ(StepRandom(state), 0xA2C6302Du);
  EXPECT_EQ(StepRandom(state), 0x5F8F09AEu);
  EXPECT_EQ(state, 0x5F8F09AEu);
}

TEST(PatternValue, TakesNumbersAndTheWordAuto) {
  EXPECT_EQ(PatternValue(engine::Value::Hex(0x55AAFF00)), 0x55AAFF00u);
  EXPECT_EQ(PatternValue(engine::Value::Hex(0xFFFFFFFF)), 0xFFFFFFFFu);
  EXPECT_EQ(PatternValue(engine::Value::Number(0)), 0u);
  EXPECT_EQ(PatternValue(engine::Value::Text("auto")), kAutoPattern);
  EXPECT_FALSE(PatternValue(engine::Value::Number(-1)));
  EXPECT_FALSE(PatternValue(engine::Value::Hex(0x100000000)));
  EXPECT_FALSE(PatternValue(engine::Value::Text("55AA")));
  EXPECT_FALSE(PatternValue(engine::Value::None()));
}

TEST(HeaderMarks, ShortMarkStampsEachSectorsLbaBigEndian) {
  Bytes b(3 * 512, 0);
  StampShortMarks(b, 0x5678, 512);
  for (size_t s = 0; s < 3; ++s) {
    EXPECT_EQ(Slice(b, s * 512, 8), (Bytes{0, 0, 0, 0, 0, 0, 0x56, static_cast<uint8_t>(0x78 + s)})) << s;
    EXPECT_EQ(Slice(b, s * 512 + 8, 504), Bytes(504, 0)) << "a zero pattern keeps the rest of sector " << s;
  }
}

TEST(HeaderMarks, LongMarkOn4096ByteSectorsCarriesTheSequence) {
  Bytes b(2 * 4096, 0xAB);
  StampLongMarks(b, 0x5678, 4096, 0x0102030405060708);
  EXPECT_EQ(Slice(b, 0, 16), (Bytes{0, 0, 0, 0, 0, 0, 0x56, 0x78, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Slice(b, 4096, 8), (Bytes{0, 0, 0, 0, 0, 0, 0x56, 0x79}));
  EXPECT_EQ(b[16], 0xAB);
  EXPECT_EQ(b[4095], 0xAB);
}

TEST(HeaderMarks, ExtendedMarkWritesOnlyTagsThatAreNotZero) {
  Bytes b(512, 0xCC);
  StampExtendedMarks(b, 1, 512, 0, 0x1122334455667788);
  EXPECT_EQ(Slice(b, 0, 8), (Bytes{0, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Slice(b, 8, 8), Bytes(8, 0xCC));
  EXPECT_EQ(Slice(b, 16, 8), (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
}

TEST(HeaderMarks, AMarkInAPartialLastSectorIsCutAtTheBufferEnd) {
  Bytes b(512 + 4, 0xEE);
  StampShortMarks(b, 0x0102030405060708, 512);
  EXPECT_EQ(Slice(b, 512, 4), (Bytes{1, 2, 3, 4}));
}

TEST(FillSectorBlock, LaysThePatternAsGivenAndMarksEverySector) {
  Bytes b(2 * 512);
  FillSectorBlock(b, 100, kAutoPattern, true, 512);
  EXPECT_EQ(Slice(b, 0, 8), (Bytes{0, 0, 0, 0, 0, 0, 0, 100}));
  EXPECT_EQ(Slice(b, 8, 4), (Bytes{0x4F, 0x54, 0x55, 0x41})) << "AUTO is not drawn here";
  EXPECT_EQ(Slice(b, 512, 8), (Bytes{0, 0, 0, 0, 0, 0, 0, 101}));

  FillSectorBlock(b, 100, 0x55AAFF00, false, 512);
  EXPECT_EQ(Slice(b, 0, 8), (Bytes{0x55, 0xAA, 0xFF, 0x00, 0x55, 0xAA, 0xFF, 0x00}));
}

}  // namespace
}  // namespace kestrune::disk
