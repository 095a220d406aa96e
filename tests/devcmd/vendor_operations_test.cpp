// The vendor command carriage: every operation in every command set, the echo line, the thin
// capacity sizes, and the maker's data file with the configuration item setter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devcmd/config_items.h"
#include "devcmd/vendor_data.h"
#include "devcmd/vendor_operations.h"

namespace kestrune::devcmd {
namespace {

using disk::NvmeDirection;
constexpr NvmeDirection N = NvmeDirection::kNone, I = NvmeDirection::kIn, O = NvmeDirection::kOut;
constexpr uint32_t R = kRimo, V = kVald, S = kVendorSignature, All = 0xFFFFFFFF;

struct Cell {
  VendorOp op;
  uint32_t variant;  // 1, 192, 0 (legacy)
  VendorArgs args;
  uint8_t opcode;
  NvmeDirection dir;
  uint32_t nsid;
  uint32_t cdw12, cdw13, cdw14, cdw15;
};

VendorArgs A(uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t crc = 0) { return {a, b, c, crc, false}; }
VendorArgs Alder() { VendorArgs x; x.alder = true; return x; }

// One row per cell of the command table.
const Cell kCells[] = {
    {VendorOp::kEnterVendorMode, 1, A(), 0xFC, N, All, 0x1F, S, 1, 0},
    {VendorOp::kEnterVendorMode, 192, A(), 0xC0, N, All, 0x01, 1, 0, 0},
    {VendorOp::kEnterVendorMode, 0, A(), 0xFC, N, All, 0x1F, S, 1, 0},
    {VendorOp::kBrandNew, 1, A(), 0xFC, N, All, 0x80, 1, R, V},
    {VendorOp::kBrandNew, 192, A(), 0xC0, N, All, 0x82, 1, R, V},
    {VendorOp::kBrandNew, 0, A(), 0xE4, N, All, 1, 0, R, V},
    {VendorOp::kFtlVirgin, 1, A(), 0xFC, N, All, 0x80, 2, 1, 0},
    {VendorOp::kFtlVirgin, 192, A(), 0xC0, N, All, 0x82, 2, 1, 0},
    {VendorOp::kFtlVirgin, 0, A(), 0xE4, N, All, 2, 0, R, V},
    {VendorOp::kCleanSmart, 1, A(), 0xFC, N, All, 0xD1, 0, 0, 0},
    {VendorOp::kCleanSmart, 192, A(), 0xC0, N, All, 0x83, 0, 0, 0},
    {VendorOp::kCleanSmart, 0, A(), 0xD0, N, All, 0, 0, R, V},
    {VendorOp::kForceFirmwareMode, 1, A(5), 0xFC, N, All, 0x20, 5, 0, 0},
    {VendorOp::kForceFirmwareMode, 192, A(5), 0xFF, N, All, 7, 5, 0, 0},
    {VendorOp::kForceFirmwareMode, 0, A(5), 0xFF, N, All, 7, 5, 0, 0},
    {VendorOp::kKillFirmware, 1, A(), 0xFC, N, All, 0x122, 1, 0, 0},
    {VendorOp::kKillFirmware, 192, A(), 0xC0, N, All, 0x86, 1, 0, 0},
    {VendorOp::kKillFirmware, 0, A(), 0xF7, N, All, 1, 0, R, V},
    {VendorOp::kKeepFrb, 1, A(), 0xFC, N, All, 0x108, 0, 0, 0},
    {VendorOp::kKeepFrb, 192, A(), 0xC0, N, All, 0x84, 0, 0, 0},
    {VendorOp::kKeepFrb, 0, A(), 0xFF, N, All, 8, 0, 0, 0},
    {VendorOp::kSetThinCapacity, 1, A(0x1234, 2), 0xFC, N, 1, 0x10A, 0x1234, 2, 0},
    {VendorOp::kSetThinCapacity, 192, A(0x1234, 2), 0xC0, N, 1, 0x85, 0x1234, 2, 0},
    {VendorOp::kSetThinCapacity, 0, A(0x1234, 2), 0xD1, N, 1, 0x1234, 2, 0, 0},
    {VendorOp::kReadBlock, 1, A(3), 0xFE, I, All, 0x82, 3, 0, 0},
    {VendorOp::kReadBlock, 1, A(kBlockCriticalLog, 8192), 0xFE, I, All, 0x82, 11, 8192, 4096},
    {VendorOp::kReadBlock, 192, A(3), 0xC2, I, All, 0x86, 3, 0, 0},
    {VendorOp::kReadBlock, 0, A(3), 0xE6, I, All, 3, 0, R, V},
    {VendorOp::kWriteBlock, 1, A(1, 0, 0, 0xABCD), 0xFD, O, All, 0x81, 1, 0, 0xABCD},
    {VendorOp::kWriteBlock, 1, A(7, 0, 0, 0xABCD), 0xFD, O, All, 0x81, 7, 0, 0},
    {VendorOp::kLaneMarginPrepare, 1, A(), 0xFC, N, All, 0x80, 9, 0, 0},
    {VendorOp::kWriteBlock, 192, A(1, 0, 0, 0xABCD), 0xC1, O, All, 0x80, 1, 0, 0xABCD},
    {VendorOp::kWriteBlock, 0, A(1, 0, 0, 0xABCD), 0xE5, O, All, 1, 0, 0xABCD, 0},
    {VendorOp::kWriteBlock, 0, A(7, 0, 0, 0xABCD), 0xE5, O, All, 7, 0, R, V},
    {VendorOp::kDriveInformation, 1, A(1, 2, 3), 0xFE, I, All, 0x63, 1, 2, 3},
    {VendorOp::kDriveInformation, 192, A(1, 2, 3), 0xC2, I, All, 0x83, 1, 2, V},
    {VendorOp::kDriveInformation, 0, A(1, 2, 3), 0xF2, I, All, 1, 0, R, V},
    {VendorOp::kGrownDefect, 1, A(), 0xFE, I, All, 0x65, 0, 0, 0},
    {VendorOp::kGrownDefect, 192, A(), 0xC2, I, All, 0x84, 0, 0, 0},
    {VendorOp::kGrownDefect, 0, A(), 0xD6, I, All, 0, 0, R, V},
    {VendorOp::kOtpUid, 1, A(), 0xFE, I, All, 0x01, 0, 0, 0},
    {VendorOp::kOtpUid, 192, A(), 0xC2, I, All, 0x80, 0, 0, 0},
    {VendorOp::kOtpUid, 0, A(), 0xFF, I, All, 0x0A, 0, R, V},
    {VendorOp::kReconstructionStatus, 1, A(), 0xFE, I, All, 0x69, 0, 0, 0},
    {VendorOp::kReconstructionStatus, 192, A(), 0xC2, I, All, 0x87, 0, 0, 0},
    {VendorOp::kReconstructionStatus, 0, Alder(), 0xEA, I, All, 0, 0, 0, 0},
    {VendorOp::kReconstructionStatus, 0, A(), 0xE6, I, All, 0x0E, 0, 0, 0},
    {VendorOp::kSpiDebugInformation, 1, A(4), 0xFE, I, All, 0x6C, 4, 0, 0},
    {VendorOp::kVpdPrepare, 1, A(), 0xFC, N, All, 0x21, 0, 0, 0},
    {VendorOp::kVpdRead, 1, A(), 0xFE, I, All, 0x22, 0x00C80053, 0, 0},
    {VendorOp::kVpdPrepare, 192, A(), 0xC0, N, All, 0x81, 0, 0, 0},
    {VendorOp::kVpdRead, 192, A(), 0xC2, I, All, 0x81, 0, 0, 0},
    {VendorOp::kVpdPrepare, 0, A(), 0xFF, N, All, 0x12, 0, R, V},
    {VendorOp::kVpdRead, 0, A(), 0xFF, I, All, 0x13, 0x00FF0053, R, V},
    {VendorOp::kSecurityIdRead, 192, A(), 0xFE, I, All, 0x82, 0x20, 1, 0},
    {VendorOp::kSecurityIdWrite, 0, A(), 0xFD, O, All, 0x81, 0x20, 1, 0},
    {VendorOp::kEventLog, 1, A(), 0xFE, I, All, 0x60, 0, 0, 0},
    {VendorOp::kEventLog, 192, A(), 0xC2, I, All, 0x82, 0, 0, 0},
    {VendorOp::kEventLog, 0, A(), 0xC2, I, All, 0, 0, R, V},
    {VendorOp::kLegacyDriveInformation, 192, A(), 0xCA, I, All, 0, 0, R, V},
    {VendorOp::kPhyCalibration, 1, A(), 0xFE, I, All, 0x1A0, 0, 0, 0},
    {VendorOp::kPhyCalibration, 0, A(), 0xFF, I, All, 0x40, 0, 0, 0},
};

TEST(VendorCarriage, EveryCellOfTheCommandTable) {
  for (const Cell& c : kCells) {
    SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(c.op) << " variant " << c.variant);
    const VendorCommand cmd = EncodeVendorCommand(c.op, c.variant, c.args, 4096);
    ASSERT_EQ(cmd.code, disk::kNvmeDone);
    EXPECT_EQ(cmd.opcode, c.opcode);
    EXPECT_EQ(cmd.record.opcode(), c.opcode);
    EXPECT_EQ(cmd.direction, c.dir);
    EXPECT_EQ(cmd.nsid, c.nsid);
    EXPECT_EQ(cmd.record.Cdw(2), kVendorSignature);
    // The data length in dwords, not minus one; commands without data carry none.
    EXPECT_EQ(cmd.record.Cdw(10), c.dir == N ? 0u : 1024u);
    EXPECT_EQ(cmd.record.Cdw(12), c.cdw12);
    EXPECT_EQ(cmd.record.Cdw(13), c.cdw13);
    EXPECT_EQ(cmd.record.Cdw(14), c.cdw14);
    EXPECT_EQ(cmd.record.Cdw(15), c.cdw15);
    for (size_t i : {3u, 4u, 5u, 6u, 7u, 8u, 9u, 11u}) EXPECT_EQ(cmd.record.Cdw(i), 0u) << "CDW" << i;
  }
}

TEST(VendorCarriage, CommandsASetCannotCarry) {
  EXPECT_EQ(EncodeVendorCommand(VendorOp::kSpiDebugInformation, 192, {}, 4096).code, -74);
  EXPECT_EQ(EncodeVendorCommand(VendorOp::kSpiDebugInformation, 0, {}, 4096).code, -74);
  EXPECT_EQ(EncodeVendorCommand(VendorOp::kPhyCalibration, 192, {}, 4096).code, -79);
}

TEST(VendorCarriage, EchoInTheRawCommandsSyntax) {
  const VendorCommand read = EncodeVendorCommand(VendorOp::kReadBlock, 1, A(1), 4096);
  EXPECT_EQ(VendorEchoText(read),
            "NVMe(IO:\"IN\", DataLenByte:4096, OpCode:0xFE, NSID:0xFFFFFFFF, CDW10:0x400, CDW12:0x82, CDW13:0x1, "
            "CDW14:0x0, CDW15:0x0);");
  const VendorCommand log = EncodeVendorCommand(VendorOp::kEventLog, 0, {}, 512);
  EXPECT_EQ(VendorEchoText(log, true),
            "NVMe(IO:\"IN\", DataLenByte:512, OpCode:0xC2, NSID:0xFFFFFFFF, CDW2:0x76647673, CDW10:0x80, CDW12:0x0, "
            "CDW13:0x0, CDW14:0x4F4D4952, CDW15:0x444C4156);");
  const VendorCommand thin = EncodeVendorCommand(VendorOp::kSetThinCapacity, 1, A(1, 0), 4096);
  EXPECT_EQ(VendorEchoText(thin).substr(0, 51), "NVMe(IO:\"NODATA\", DataLenByte:0, OpCode:0xFC, NSID:");
}

TEST(VendorCarriage, ThinCapacityOnBothSidesOf8001Gb) {
  EXPECT_EQ(ThinCapacitySectors(1, 512), 1953504u + 21168u);
  EXPECT_EQ(ThinCapacitySectors(1, 4096), 244188u + 2646u);
  EXPECT_EQ(ThinCapacitySectors(8000, 512), 8000ull * 1953504 + 21168);
  // From 8001 GB on, rounded up to whole allocation units.
  EXPECT_EQ(ThinCapacitySectors(8001, 512) % 2097152, 0u);
  EXPECT_GE(ThinCapacitySectors(8001, 512), 8001ull * 1953125);
  EXPECT_EQ(ThinCapacitySectors(8001, 4096) % 262144, 0u);
  EXPECT_GE(ThinCapacitySectors(8001, 4096) * 4096, 8001ull * 1000000000);
}

constexpr std::string_view kData =
    "# comment\n"
    "vendor CAFE\n"
    "sata-oui 00CAFE\n"
    "soc Alder 1101 marker 1.0.0.d\n"
    "soc Cedar 3301\n"
    "soc Cedar 3305\n"
    "item count 8 2 dec g - FFFFFF\n"
    "item flags 12 4 hex g fl 0000FF\n"
    "item sn 16 8 text id \"serial no\" 00FF00\n"
    "item tag 24 4 bytes id - FFFFFF\n";

TEST(VendorData, ParsesTheEntries) {
  VendorDataParse p = ParseVendorData(kData);
  ASSERT_TRUE(p.data) << p.error;
  const VendorData& d = *p.data;
  EXPECT_TRUE(d.IsMakerVendor(0xCAFE));
  EXPECT_FALSE(d.IsMakerVendor(0x1B36));
  EXPECT_TRUE(d.IsMakerOui(0x00CAFE));
  EXPECT_EQ(d.FamilyOf(0x1101), SocFamily::kAlder);
  EXPECT_EQ(d.VersionMarker(0x1101), "1.0.0.d");
  EXPECT_EQ(d.VersionMarker(0x3301), "3.0.0");
  // Cedar and later: at or above the lowest Cedar id.
  EXPECT_FALSE(d.IsCedarOrLater(0x2201));
  EXPECT_TRUE(d.IsCedarOrLater(0x3301));
  EXPECT_TRUE(d.IsCedarOrLater(0x4000));
  ASSERT_NE(d.FindItem("FL"), nullptr);
  EXPECT_EQ(d.FindItem("fl")->name, "flags");
  EXPECT_EQ(d.FindItem("flags")->colour, 0xFF0000u);  // written RRGGBB, kept as COLORREF
  EXPECT_EQ(d.FindItem("serial no")->display, "sn (serial no)");
  const std::vector<FieldRow> rows = d.FieldRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].type, FieldType::kU16);
  EXPECT_EQ(rows[1].type, FieldType::kU32Hex);
  EXPECT_EQ(rows[2].type, FieldType::kText);
  EXPECT_EQ(rows[2].count, 8);
  EXPECT_EQ(rows[3].type, FieldType::kByteString);
}

TEST(VendorData, RefusesTheWholeFileForOneBadLine) {
  const struct {
    const char* line;
    const char* why;
  } kBad[] = {
      {"vendor 12345", "16-bit"},
      {"soc Oak 1101", "family"},
      {"soc Cedar 0", "non-zero"},
      {"item x 4095 2 dec g - FFFFFF", "outside"},
      {"item x 0 3 dec g - FFFFFF", "1, 2, 4 or 8"},
      {"item x 0 600 text g - FFFFFF", "512"},
      {"item x 0 4 float g - FFFFFF", "type"},
      {"item x 0 4 dec g -", "takes name"},
      {"item count 0 1 dec g - FFFFFF", "twice"},
      {"sata-oui 1000000", "24-bit"},
      {"colour red", "unknown entry"},
      {"mpitem x 4095 2 dec g - FFFFFF", "outside"},
  };
  for (const auto& bad : kBad) {
    const std::string text = "item count 8 2 dec g - FFFFFF\n\n" + std::string(bad.line) + "\n";
    VendorDataParse p = ParseVendorData(text);
    EXPECT_FALSE(p.data) << bad.line;
    EXPECT_NE(p.error.find("line 3:"), std::string::npos) << p.error;
    EXPECT_NE(p.error.find(bad.why), std::string::npos) << bad.line << ": " << p.error;
  }
  // The manufacturing record's items are a table of their own: a name may stand in both, not
  // twice in one.
  VendorDataParse both = ParseVendorData("item count 8 2 dec g - FFFFFF\nmpitem count 0 4 hex g - FFFFFF\n");
  ASSERT_TRUE(both.data) << both.error;
  EXPECT_EQ(both.data->MpFieldRows().size(), 1u);
  EXPECT_EQ(both.data->MpFieldRows()[0].type, FieldType::kU32Hex);
  EXPECT_FALSE(ParseVendorData("mpitem a 0 4 hex g - FFFFFF\nmpitem a 8 4 hex g - FFFFFF\n").data);
}

TEST(VendorData, SetsItemsAndRefusesWhatDoesNotFit) {
  VendorData d = *ParseVendorData(kData).data;
  std::vector<uint8_t> block(kConfigBlockSize, 0xEE);
  const struct {
    const char* item;
    const char* value;
    const char* error;  // "" = accepted
  } kCases[] = {
      {"count", "65535", ""},   {"count", "65536", "not fit item count"}, {"count", "0x10", ""},
      {"count", "12a", "not fit"}, {"flags", "0xFFFFFFFF", ""},          {"sn", "ABCDEFGH", ""},
      {"sn", "ABCDEFGHI", "not fit item sn"}, {"tag", "0102", ""},       {"tag", "010203040506", "not fit"},
      {"tag", "0G", "not fit"},  {"count", "", ""},                         {"count", "-1", ""},
  };
  for (const auto& c : kCases) {
    const std::string why = SetConfigItem(block, *d.FindItem(c.item), c.value);
    if (std::string(c.error).empty()) EXPECT_EQ(why, "") << c.item << "=" << c.value;
    else EXPECT_NE(why.find(c.error), std::string::npos) << c.item << "=" << c.value << ": " << why;
  }
  // The accepted values, in order; "" and "-1" left 0x10 in place.
  EXPECT_EQ(block[8], 0x10);
  EXPECT_EQ(block[9], 0x00);
  EXPECT_EQ(block[12], 0xFF);
  EXPECT_EQ(std::string(block.begin() + 16, block.begin() + 24), "ABCDEFGH");
  EXPECT_EQ(block[24], 0x01);
  EXPECT_EQ(block[25], 0x02);
  EXPECT_EQ(block[26], 0x00);  // the rest of a bytes item is cleared
  EXPECT_EQ(block[28], 0xEE);  // nothing outside the items
}

TEST(ConfigEdits, PairsListsAndReadsIniLists) {
  std::string why;
  auto pairs = PairEdits("a | b|c", "|2", why);
  ASSERT_TRUE(pairs) << why;
  ASSERT_EQ(pairs->size(), 3u);
  EXPECT_EQ((*pairs)[0], (std::pair<std::string, std::string>{"a", ""}));  // an empty first value keeps its place
  EXPECT_EQ((*pairs)[1], (std::pair<std::string, std::string>{"b", "2"}));
  EXPECT_EQ((*pairs)[2], (std::pair<std::string, std::string>{"c", ""}));
  EXPECT_FALSE(PairEdits(std::string(31, 'x') + "y", "1", why));
  EXPECT_FALSE(PairEdits("a", std::string(128, '1'), why));
  std::string many;
  for (int i = 0; i < 31; ++i) many += "a|";
  EXPECT_FALSE(PairEdits(many, "", why));

  auto ini = ReadCfgIni("[Other]\nx=1\n[FWConfig]\r\n; note\ncount = 7\r\nsn=AB\n", why);
  ASSERT_TRUE(ini) << why;
  ASSERT_EQ(ini->size(), 2u);
  EXPECT_EQ((*ini)[0], (std::pair<std::string, std::string>{"count", "7"}));
  EXPECT_FALSE(ReadCfgIni("[FWConfig]\ncount 7\n", why));
  EXPECT_NE(why.find("line 2"), std::string::npos) << why;
}

}  // namespace
}  // namespace kestrune::devcmd
