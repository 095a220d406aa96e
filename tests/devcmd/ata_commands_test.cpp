// The SATA command set on the simulated lab: ATA, ATARead, ATAWrite with every mode, Identify,
// IdentifyEx, SMART, SMART_Offline, STBI and IDLE, and their guards.
#include <gtest/gtest.h>

#include <algorithm>

#include "ata_lab.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/dump_file.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using testing::kLetteredSata;
using testing::kSystemSata;
using testing::kUsbSata;

class AtaCommands : public testing::AtaLab {};

TEST_F(AtaCommands, ReadAndWriteModesPickTheirCommandsByLba) {
  struct Case {
    const char* call;
    uint8_t command;
  };
  const Case cases[] = {
      {"ATARead( LBA:0x0FFFFFFF, SectorCount:1, ATA_RMode:\"Normal\" );", 0x20},
      {"ATARead( LBA:0x10000000, SectorCount:1, ATA_RMode:\"Normal\" );", 0x24},
      {"ATARead( LBA:0x0FFFFFF0, SectorCount:16, ATA_RMode:\"Multiple\" );", 0xC4},
      {"ATARead( LBA:0x10000000, SectorCount:16, ATA_RMode:\"Multiple\" );", 0x29},
      {"ATARead( LBA:8, SectorCount:2, ATA_RMode:\"DMA\" );", 0xC8},
      {"ATARead( LBA:0x10000000, SectorCount:2, ATA_RMode:\"DMA\" );", 0x25},
      {"ATARead( LBA:8, SectorCount:1, ATA_RMode:\"Turbo\" );", 0x20},  // unknown: Normal
      {"ATAWrite( LBA:0x0FFFFFFF, SectorCount:1, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"Normal\" "
       ");",
       0x30},
      {"ATAWrite( LBA:0x10000000, SectorCount:1, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"Normal\" "
       ");",
       0x34},
      {"ATAWrite( LBA:16, SectorCount:4, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"Multiple\" );",
       0xC5},
      {"ATAWrite( LBA:0x10000000, SectorCount:4, WritePattern:1, MarkSectorHeader:TRUE, "
       "ATA_WMode:\"Multiple\" );",
       0x39},
      {"ATAWrite( LBA:16, SectorCount:4, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"DMA\" );", 0xCA},
      {"ATAWrite( LBA:0x10000000, SectorCount:4, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"DMA\" );",
       0x35},
      {"ATAWrite( LBA:0x10000000, SectorCount:4, WritePattern:1, MarkSectorHeader:TRUE, "
       "ATA_WMode:\"Multiple_Fua\" );",
       0xCE},
      {"ATAWrite( LBA:0x10000000, SectorCount:4, WritePattern:1, MarkSectorHeader:TRUE, "
       "ATA_WMode:\"DMA_Fua\" );",
       0x3D},
      {"ATAWrite( LBA:16, SectorCount:1, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"Other\" );",
       0x30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    lab->requestLog().Clear();
    Run(c.call);
    EXPECT_EQ(Code(), 0) << Description();
    EXPECT_EQ(SentAtaCommands(), std::vector<uint8_t>{c.command});
    EXPECT_FALSE(DumpPath().empty());
  }
}

TEST_F(AtaCommands, WrittenPatternReadsBackAtTheSameSectorsOnEveryMode) {
  for (const char* mode : {"Normal", "Multiple", "DMA", "Multiple_Fua", "DMA_Fua"}) {
    SCOPED_TRACE(mode);
    for (const uint64_t lba : {uint64_t{0x10000000}, uint64_t{0x18FFFFF0}}) {
      Run(base::Format(
          "ATAWrite( LBA:0x%llX, SectorCount:16, WritePattern:0x12345678, MarkSectorHeader:TRUE, "
          "ATA_WMode:\"%s\" );",
          static_cast<unsigned long long>(lba), mode));
      ASSERT_EQ(Code(), 0) << Description();
      const std::vector<uint8_t> written = DumpBytes();
      std::vector<uint8_t> media(written.size());
      ASSERT_TRUE(lab->Open(testing::kRawSata, platform::OpenAccess::kRead)->Read(lba * 512, media));
      EXPECT_EQ(media, written);
      EXPECT_EQ(media[7], static_cast<uint8_t>(lba));  // the sector header mark
      Run(base::Format("ATARead( LBA:0x%llX, SectorCount:16, ATA_RMode:\"%s\" );",
                       static_cast<unsigned long long>(lba),
                       std::string(mode).substr(0, std::string(mode).find('_')).c_str()));
      ASSERT_EQ(Code(), 0) << Description();
      EXPECT_EQ(DumpBytes(), written);
    }
  }
}

TEST_F(AtaCommands, GuardsAndBadParametersSendNothing) {
  struct Case {
    const std::string* disk;
    const char* call;
    int32_t code;
    const char* detail;
  };
  const std::string& raw = testing::kRawSata;
  const Case cases[] = {
      {&raw,
       "ATAWrite( LBA:16, SectorCount:1, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"DMA_Fua\" );",
       code::kBadParameter, "FUA only support iSectorS > 0x0FFFFFFF"},
      {&raw,
       "ATAWrite( LBA:16, SectorCount:1, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"Multiple_Fua\" "
       ");",
       code::kBadParameter, "FUA only support iSectorS > 0x0FFFFFFF"},
      {&raw, "ATARead( LBA:16, SectorCount:0, ATA_RMode:\"Normal\" );", code::kBadParameter, ""},
      {&raw, "ATARead( LBA:16, SectorCount:257, ATA_RMode:\"Normal\" );", code::kBadParameter, ""},
      {&raw, "ATA( IO:\"SIDEWAYS\", ATACmd:0xEC, Feature:0, SectorCount:1 );", code::kBadParameter,
       "IO Parameter Error "},
      {&raw, "SMART_Offline( SelfTest:\"Long\" );", code::kBadParameter, "SelfTest Parameter Error "},
      {&kLetteredSata,
       "ATAWrite( LBA:16, SectorCount:1, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"Normal\" );",
       code::kRawModeOnly, "Use ChangeDisk() or Partition_Delete() then try again."},
      {&kSystemSata,
       "ATAWrite( LBA:16, SectorCount:1, WritePattern:1, MarkSectorHeader:TRUE, ATA_WMode:\"Normal\" );",
       code::kRawOrPartitionOnly, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    Select(*c.disk);
    lab->requestLog().Clear();
    Run(c.call);
    EXPECT_EQ(Code(), c.code);
    EXPECT_NE(Description().find(c.detail), std::string::npos) << Description();
    EXPECT_EQ(SentAtaCommands(), std::vector<uint8_t>{});
  }
}

TEST_F(AtaCommands, RawOutIsRefusedForUserDataCommandsOnADiskWithVolumesAndAlwaysOnTheSystemDisk) {
  Select(kLetteredSata);
  for (const int command : {0x06, 0x30, 0x34, 0x36, 0x38, 0x3E, 0xC5, 0xCA, 0xCC, 0xCE, 0xF4}) {
    SCOPED_TRACE(command);
    Run(base::Format("ATA( IO:\"OUT\", ATACmd:0x%X, Feature:0, SectorCount:1 );", command));
    EXPECT_EQ(Code(), code::kRawModeOnly);
  }
  EXPECT_TRUE(ui->asked.empty());                                    // refused before any file dialog
  Run("ATA( IO:\"OUT\", ATACmd:0xF1, Feature:0, SectorCount:1 );");  // not user data: asks for the file
  EXPECT_EQ(ui->asked.size(), 1u);
  EXPECT_EQ(ui->asked[0].choice.title, "Hex File");
  Select(kSystemSata);
  Run("ATA( IO:\"OUT\", ATACmd:0xF1, Feature:0, SectorCount:1 );");
  EXPECT_EQ(Code(), code::kRawOrPartitionOnly);
  EXPECT_EQ(ui->asked.size(), 1u);
}

TEST_F(AtaCommands, RawOutSendsTheChosenFileZeroPaddedAndInReadsIntoADump) {
  const std::string file = platform::JoinPath(dir.path(), "short.bin");
  ASSERT_TRUE(platform::WriteWholeFile(file, std::vector<uint8_t>(100, 0xA5)));
  ui->answers.push_back(file);
  Run("ATA( IO:\"OUT\", ATACmd:0x30, Feature:0, SectorCount:2, Low:0x40, Mid:0, High:0 );");
  ASSERT_EQ(Code(), 0) << Description();
  std::vector<uint8_t> expected(1024, 0);
  std::fill_n(expected.begin(), 100, 0xA5);
  EXPECT_EQ(DumpBytes(), expected);
  EXPECT_EQ(Body().back().colour, engine::colour::kOrange);

  Run("ATA( IO:\"IN\", ATACmd:0x20, Feature:0, SectorCount:2, Low:0x40, Mid:0, High:0 );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(DumpBytes(), expected);
  EXPECT_EQ(Body().back().colour, disk::kReadDumpColour);
  Run("ATA( IO:\"IN_NOSHOW\", ATACmd:0xEC, Feature:0, SectorCount:1 );");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(DumpPath(), "");
  lab->requestLog().Clear();
  Run("ATA( IO:\"NODATA\", ATACmd:0xE1, Feature:0, SectorCount:0 );");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(SentAtaCommands(), std::vector<uint8_t>{0xE1});
  ui->answers.push_back(std::nullopt);
  Run("ATA( IO:\"OUT\", ATACmd:0x30, Feature:0, SectorCount:1 );");
  EXPECT_TRUE(interp.view(0).cancel.load());  // the dialog was cancelled: so is the run
}

TEST_F(AtaCommands, IdentifyItemsCollectTheirValues) {
  struct Case {
    const char* items;
    std::vector<std::string> lines;
    engine::Value result;
  };
  const Case cases[] = {
      {"|MN|",
       {"Model Number (MN)          : KESTRUNE TEST SATA0"},
       engine::Value::Text("KESTRUNE TEST SATA0")},
      {"SN|FWver",
       {"Firmware Version (FWver)   : T100", "Serial Number (SN)         : SERIAL0"},
       engine::Value::Text("\"T100\",\"SERIAL0\"")},
      {"MAXLBA",
       {"MaxLba28bit                : 0x0FFFFFFF", "Supported48bit             : 1",
        "MaxLba48bit                : 0x0000000019000000"},
       engine::Value::Hex(0x19000000)},
      {"GB|GiB",
       {"DiskQty(GB)                : 214", "DiskQty(GiB)               : 200"},
       engine::Value::Text("214,200")},
      {"SECURITY",
       {"Security Supported         : 1", "Security Enabled           : 0", "Security Locked            : 0",
        "Security Frozen            : 0", "Security Count Expired     : 0", "Master Password Capability : 0"},
       engine::Value::Number(0)},
      {"LINK_SPEED|DMA",
       {"Current Sata Link Speed    :  3 | Serial ATA Gen3 Signaling Speed (6.0 Gbps)",
        "Ultra DMA Mode             :  6 | Ultra DMA Mode 6 Selected"},
       engine::Value::Text("3,6")},
      {"CMDTYPE", {"Cmd Through                : ATA"}, engine::Value::Text("ATA")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.items);
    Run(base::Format("Identify( Items:\"%s\" );", c.items));
    ASSERT_EQ(Code(), 0) << Description();
    EXPECT_EQ(BodyTexts(), c.lines);
    const engine::Value v = Var("Identify");
    EXPECT_EQ(v.type, c.result.type);
    EXPECT_EQ(v.type == engine::ValueType::kText ? v.text : std::to_string(v.number),
              c.result.type == engine::ValueType::kText ? c.result.text : std::to_string(c.result.number));
  }
  Run("Identify( Items:\"\" );");
  EXPECT_EQ(BodyTexts().size(), 25u);  // every line
}

TEST_F(AtaCommands, IdentifyExWalksTheWordRowsWithinTheWindow) {
  Run("IdentifyEx( StartWord:300, EndWord:400 );");
  ASSERT_EQ(Code(), 0) << Description();
  std::vector<std::string> lines = BodyTexts();
  ASSERT_EQ(lines.size(), 3u);  // Word 255 and its two bit rows
  EXPECT_EQ(lines[0].substr(0, 90),
            std::string("Word 255          : Integrity Word") + std::string(55, ' ') + "|");
  EXPECT_EQ(lines[1].substr(0, 25), "    [255]Bit 15:8 : Check");
  EXPECT_EQ(lines[2].substr(lines[2].size() - 6), "| 0xA5");

  Run("IdentifyEx( StartWord:0, EndWord:255);");
  size_t words = 0;
  for (const std::string& l : BodyTexts()) words += l.starts_with("Word ") ? 1 : 0;
  EXPECT_EQ(words, 95u);
  EXPECT_NE(std::find(BodyTexts().begin(), BodyTexts().end(),
                      "    [0]Bit 15     : ATA Device Identifier" + std::string(48, ' ') + "| 0x0"),
            BodyTexts().end());
  Run("IdentifyEx( StartWord:10, EndWord:10 );");
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"Word 10-19        : Serial Number" + std::string(56, ' ') +
                                                  "| SERIAL0"});
  interp.view(0).cancel = true;
  Run("IdentifyEx( StartWord:0, EndWord:255);");
  EXPECT_EQ(BodyTexts().back(), "---- Cancel Command ----");
}

TEST_F(AtaCommands, SmartTableItemsAndTheSelfTest) {
  Run("SMART( Items:\"194\" );");
  ASSERT_EQ(Code(), 0) << Description();
  std::vector<std::string> lines = BodyTexts();
  ASSERT_EQ(lines.size(), 7u);  // the temperature row and the self-test lines
  EXPECT_EQ(lines[0],
            "C2: Temperature                                  |        38|         0| 002D00140026|    "
            "193274839078");
  EXPECT_EQ(Var("SMART").type, engine::ValueType::kNumber);
  EXPECT_EQ(Var("SMART").number, 193274839078);
  EXPECT_EQ(lines[1], "Self-test Support           : 1");
  EXPECT_EQ(lines[6], "Self-test Status(Desc)         : Completed              ");

  Run("SMART_Offline( SelfTest:\"Short\" );");
  ASSERT_EQ(Code(), 0);
  Run("SMART();");
  lines = BodyTexts();
  ASSERT_EQ(lines.size(), 13u);  // header, six attributes, six self-test lines
  EXPECT_EQ(lines[0],
            "ID: Description                                  |   Current| Threshold|     Raw(Hex)|      "
            "Raw(Value)");
  EXPECT_EQ(lines[10], "Self-test Percent Remaining(%) : 90");
  EXPECT_EQ(lines[12], "Self-test Status(Desc)         : Progress Running       ");
  host.Advance(3 * 60 * 1000);
  Run("SMART( Items:\"|5|9|\" );");
  EXPECT_EQ(BodyTexts().back(), "Self-test Status(Desc)         : Completed              ");
  EXPECT_EQ(Var("SMART").text, "0,0");

  sim::FaultPlan plan;
  plan.smartBadChecksum = 3;
  Drive(testing::kRawSata)->set_faults(plan);
  Run("SMART( Items:\"194\" );");
  lines = BodyTexts();
  EXPECT_EQ(lines[0], "SMART Data Checksum Error");
  EXPECT_EQ(lines[1], "SMART Threshold Checksum Error");
  EXPECT_EQ(Var("SMART").number, 193274839078);  // still shown and collected
}

TEST_F(AtaCommands, PowerCommandsStoreOneAndReportNothing) {
  for (const char* command : {"STBI", "IDLE"}) {
    SCOPED_TRACE(command);
    Run(std::string(command) + "();");
    EXPECT_EQ(Code(), 0);
    EXPECT_EQ(Var(command).number, 1);
    EXPECT_EQ(Var("_ErrorCheck").number, 1);
  }
  sim::FaultPlan plan;
  plan.ataFailures = {{0xE0, 0x04}};
  Drive(testing::kRawSata)->set_faults(plan);
  Run("STBI();");
  EXPECT_EQ(Code(), code::kOpenDiskFailed);
}

TEST_F(AtaCommands, UsbBridgeDiskTakesEverythingThroughSat) {
  Select(kUsbSata);
  lab->requestLog().Clear();
  Run("ATARead( LBA:8, SectorCount:1, ATA_RMode:\"DMA\" );");
  ASSERT_EQ(Code(), 0) << Description();
  Run("Identify( Items:\"|MN|\" );");
  EXPECT_EQ(Var("Identify").text, "KESTRUNE TEST USB3");
  for (const sim::RequestRecord& r : lab->requestLog().Records()) EXPECT_NE(r.operation, "Ata");
}

}  // namespace
}  // namespace kestrune::devcmd
