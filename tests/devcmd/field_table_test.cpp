// The field-table decoder: value rendering per type code, the Items filter and the result value.
#include "devcmd/field_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devcmd/item_filter.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

const std::vector<uint8_t> kRecord = {0x81, 0x02, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'A',  'b',  ' ',  'z',  0x01, 'q'};

struct RenderCase {
  FieldType type;
  uint32_t offset;
  int32_t count;
  std::string expected;
};

TEST(FieldTable, RendersEveryTypeCode) {
  const RenderCase cases[] = {
      {FieldType::kU8, 0, 0, "129"},
      {FieldType::kU8Hex, 0, 0, "0x81"},
      {FieldType::kByteList, 0, 3, "81 02 34 "},
      {FieldType::kByteString, 0, 3, "810234"},
      {FieldType::kByteReversed, 0, 3, "340281"},
      {FieldType::kU16, 2, 0, "4660"},
      {FieldType::kU16Hex, 2, 0, "0x1234"},
      {FieldType::kU16List, 0, 2, "0281 1234 "},
      {FieldType::kU32, 4, 0, "305419896"},
      {FieldType::kU32Hex, 4, 0, "0x12345678"},
      {FieldType::kU32List, 0, 2, "12340281 12345678 "},
      {FieldType::kI64, 8, 0, "-1"},
      {FieldType::kU64, 8, 0, "18446744073709551615"},
      {FieldType::kU64Hex, 0, 0, "0x1234567812340281"},
      {FieldType::kText, 16, 6, "Ab z"},
      {FieldType::kU64List, 0, 1, "1234567812340281 "},
      // Bytes past the end of the record read as zero.
      {FieldType::kU32Hex, 20, 0, "0x7101"},
      {FieldType::kByteList, 20, 4, "01 71 00 00 "},
  };
  for (const RenderCase& c : cases) {
    FieldRow row{c.offset, "F", c.count, 0xFFFFFF, c.type, ""};
    EXPECT_EQ(RenderField(kRecord, row), c.expected) << static_cast<int>(c.type);
  }
}

TEST(FieldTable, ArrayRenderingStopsPastTheLimit) {
  std::vector<uint8_t> big(1000, 0xAB);
  // Pieces are appended while the text is at most 512 characters long: 171 pieces of three.
  EXPECT_EQ(HexList(big).size(), 513u);
  EXPECT_EQ(HexString(big, false).size(), 514u);
  std::vector<uint8_t> text(1000, 'x');
  EXPECT_EQ(PrintableText(text).size(), 513u);
}

const FieldRow kTable[] = {
    {0, "Flags", 0, 0xFFFFFF, FieldType::kU8Hex, "head"},
    {2, "VENDOR_Capacity (disksize)", 0, 0x00FFFF, FieldType::kU16, "head"},
    {16, "Name", 4, 0xFFFFFF, FieldType::kText, "body"},
    {4, "Word", 0, 0xFFFFFF, FieldType::kU32Hex, "body"},
};

TEST(FieldTable, UnfilteredDecodePrintsGroupsAndRows) {
  LineCollector sink;
  DecodeResult r = DecodeRecord(sink, kRecord, kTable, {});
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{
                              "# head",
                              "Flags                                      : 0x81",
                              "VENDOR_Capacity (disksize)                 : 4660",
                              "# body",
                              "Name                                       : Ab z",
                              "Word                                       : 0x12345678",
                          }));
  EXPECT_EQ(sink.lines[0].colour, engine::colour::kYellow);
  EXPECT_EQ(sink.lines[2].colour, 0x00FFFFu);
  EXPECT_EQ(r.printed, 4u);
  EXPECT_TRUE(r.value.IsNone());

  LineCollector withOffsets;
  DecodeRecord(withOffsets, kRecord, std::span(kTable).first(1),
               {.items = {}, .showOffset = true, .custom = {}});
  EXPECT_EQ(withOffsets.Texts()[1], "[   0] Flags                                      : 0x81");
}

TEST(FieldTable, FilterMatchesShortNameAliasGroupAndGroupMarker) {
  struct Case {
    std::string items;
    std::vector<std::string> lines;
    engine::Value value;
  };
  const Case cases[] = {
      {"disksize", {"head.VENDOR_Capacity (disksize)            : 4660"}, engine::Value::Number(4660)},
      {"VENDOR_Capacity", {"head.VENDOR_Capacity (disksize)            : 4660"}, engine::Value::Number(4660)},
      {"flags", {"head.Flags                                 : 0x81"}, engine::Value::Hex(0x81)},
      {"body.Name", {"body.Name                                  : Ab z"}, engine::Value::Text("Ab z")},
      {"#body",
       {"body.Name                                  : Ab z",
        "body.Word                                  : 0x12345678"},
       engine::Value::Text("\"Ab z\",0x12345678")},
      {"Nothing", {}, engine::Value::Text("")},
  };
  for (const Case& c : cases) {
    LineCollector sink;
    DecodeResult r =
        DecodeRecord(sink, kRecord, kTable, {.items = c.items, .showOffset = false, .custom = {}});
    EXPECT_EQ(sink.Texts(), c.lines) << c.items;
    EXPECT_EQ(r.value.type, c.value.type) << c.items;
    EXPECT_EQ(r.value.number, c.value.number) << c.items;
    EXPECT_EQ(r.value.text, c.value.text) << c.items;
  }
}

TEST(FieldTable, CustomRowsGoToTheCallersDecoder) {
  const FieldRow table[] = {{0, "Special", 0, 0xFFFFFF, FieldType::kCustom, ""},
                            {0, "Plain", 0, 0xFFFFFF, FieldType::kU8, ""}};
  std::vector<std::string> called;
  DecodeOptions options;
  options.custom = [&](std::span<const uint8_t>, std::string_view name) { called.emplace_back(name); };
  LineCollector sink;
  EXPECT_EQ(DecodeRecord(sink, kRecord, table, options).printed, 1u);
  EXPECT_EQ(called, std::vector<std::string>{"Special"});
  options.items = "Plain";
  DecodeRecord(sink, kRecord, table, options);
  EXPECT_EQ(called.size(), 1u);  // a filter that does not name the custom row leaves it out
}

TEST(ItemFilter, NormalisesBarsAndBlanks) {
  EXPECT_EQ(NormaliseItems(""), "");
  EXPECT_EQ(NormaliseItems("MN"), "|MN|");
  EXPECT_EQ(NormaliseItems("MN | FWver"), "|MN|FWver|");
  EXPECT_EQ(NormaliseItems("  MN  |   NN "), "|MN|NN|");
  EXPECT_EQ(NormaliseItems("|NN|"), "||NN||");
}

TEST(ItemFilter, ResultIsANumberTextOrList) {
  EXPECT_EQ(ItemCollector::ResultOf("12").number, 12);
  EXPECT_EQ(ItemCollector::ResultOf("0x0159").type, engine::ValueType::kHex);
  EXPECT_EQ(ItemCollector::ResultOf("\"KX 512\"").text, "KX 512");
  EXPECT_EQ(ItemCollector::ResultOf("1A").text, "1A");
  EXPECT_EQ(ItemCollector::ResultOf("\"a\",\"b\"").text, "\"a\",\"b\"");
  EXPECT_EQ(ItemCollector::ResultOf("").type, engine::ValueType::kText);

  ItemCollector all("");
  EXPECT_FALSE(all.filtering());
  EXPECT_TRUE(all.Selects("anything"));
  ItemCollector some("ssvid");
  EXPECT_TRUE(some.Selects("VID"));  // a substring search: VID is found inside SSVID
  EXPECT_FALSE(some.Selects("|SN|"));
}

}  // namespace
}  // namespace kestrune::devcmd
