// The SMART / Health log decoder: the row table, ShowVSC classes, the Items filter and its result.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "devcmd/nvme_decoders_smart.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

std::array<uint8_t, 512> SmartPage() {
  std::array<uint8_t, 512> p{};
  p[0] = 0x04;
  base::PutLe16(&p[1], 321);                  // 48 degrees Celsius
  base::PutLe64(&p[32], 0x0000000100000002);  // data units read (low 8 of 16 bytes)
  p[40] = 0xFF;                                 // its high bytes are not shown
  base::PutLe32(&p[268], 9);                  // a LevelC vendor row
  base::PutLe32(&p[448], 7);
  return p;
}

TEST(SmartTable, RowsCoverThePageInOrder) {
  std::span<const SmartRow> rows = SmartRows();
  ASSERT_EQ(rows.size(), 94u);
  size_t standard = 0, levelC = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(rows[i - 1].offset, rows[i].offset);
    }
    EXPECT_LE(rows[i].description.size(), 41u);
    if (rows[i].cls == "standard") ++standard;
    if (rows[i].cls == "vendor|LevelC") ++levelC;
  }
  EXPECT_EQ(standard, 30u);
  EXPECT_EQ(levelC, 22u);
}

TEST(Smart, FullOutputLines) {
  LineCollector sink;
  engine::Value v = DecodeSmart(sink, SmartPage(), 1, "");
  ASSERT_EQ(sink.lines.size(), 95u);
  EXPECT_EQ(sink.lines[0], (DecodedLine{"Offset         : Desc                                       |       "
                                        "         Hex |             DEC",
                                        engine::colour::kYellow}));
  EXPECT_EQ(sink.lines[1], (DecodedLine{"Byte 0-0       : Critical Warning                           |       "
                                        "        0x04 |               4",
                                        engine::colour::kCyan}));
  EXPECT_EQ(
      sink.lines[2].text,
      "Byte 1-2       : Composite Temperature                      |             0x0141 |             321");
  EXPECT_EQ(
      sink.lines[7].text,
      "Byte 32-47     : Data Units Read                            | 0x0000000100000002 |      4294967298");
  EXPECT_EQ(sink.lines[94], (DecodedLine{"Byte 448-451   : tbl_op                                     |      "
                                         "   0x00000007 |               7",
                                         engine::colour::kWhite}));
  EXPECT_EQ(v.type, engine::ValueType::kText);
  EXPECT_EQ(v.text, "");
}

TEST(Smart, ShowVscChoosesTheRowClasses) {
  const std::pair<int64_t, size_t> cases[] = {{0, 30}, {1, 94}, {2, 52}, {3, 30}, {-1, 30}};
  for (auto [showVsc, rows] : cases) {
    LineCollector sink;
    DecodeSmart(sink, SmartPage(), showVsc, "");
    EXPECT_EQ(sink.lines.size(), rows + 1) << showVsc;
  }
  LineCollector levelC;
  DecodeSmart(levelC, SmartPage(), 2, "");
  for (const DecodedLine& l : levelC.lines) EXPECT_EQ(l.text.find("Slc Spb Cnt"), std::string::npos);
}

TEST(Smart, ItemsPickRowsByOffset) {
  LineCollector sink;
  engine::Value one = DecodeSmart(sink, SmartPage(), 1, "1");
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_EQ(
      sink.lines[0].text,
      "Byte 1         : Composite Temperature                      |             0x0141 |             321");
  EXPECT_EQ(one.type, engine::ValueType::kHex);
  EXPECT_EQ(one.number, 321);

  LineCollector several;
  engine::Value list = DecodeSmart(several, SmartPage(), 1, "0 | 268| 448");
  EXPECT_EQ(list.text, "0x04,0x00000009,0x00000007");
  // Vendor rows stay out under ShowVSC 0 even when named.
  LineCollector standard;
  EXPECT_EQ(DecodeSmart(standard, SmartPage(), 0, "268").text, "");
  EXPECT_TRUE(standard.lines.empty());
  // An offset that starts no row selects nothing.
  LineCollector none;
  EXPECT_EQ(DecodeSmart(none, SmartPage(), 1, "2").text, "");
}

}  // namespace
}  // namespace kestrune::devcmd
