// The raw NVMe command, GetLogPage, the feature commands, SafeRemoveNVMe and SecurErase on the
// simulated lab.
#include <gtest/gtest.h>

#include <algorithm>

#include "nvme_lab.h"

namespace kestrune::devcmd {
namespace {

class NvmeCommands : public testing::NvmeLab {
 protected:
  std::vector<uint8_t> FileBytes(const std::string& path) {
    return platform::ReadWholeFile(path).value_or(std::vector<uint8_t>{});
  }
};

TEST_F(NvmeCommands, RawDataInGoesToANewDumpFile) {
  Run("NVMe( IO:\"IN\", DataLenByte:512, OpCode:0x06, NSID:0, CDW10:1 );");
  ASSERT_EQ(Code(), 0) << Description();
  const std::vector<engine::OutputLine> body = Body();
  ASSERT_EQ(body.size(), 2u);
  EXPECT_EQ(body[0].kind, engine::kDataFile);
  EXPECT_EQ(body[0].colour, 0x009696u);
  EXPECT_EQ(body[1].text, "ResultValue : 0x0000");
  const std::vector<uint8_t> page = DumpBytes();
  ASSERT_EQ(page.size(), 512u);
  EXPECT_EQ(std::string(page.begin() + 24, page.begin() + 43), "KESTRUNE TEST NVMe0");
  const std::vector<std::vector<uint8_t>> sent = AdminEntries();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back()[0], 0x06);
  EXPECT_EQ(Dword(sent.back(), 10), 1u);
}

TEST_F(NvmeCommands, RawDataInAppendsToItsFile) {
  const std::string file = platform::JoinPath(dir.path(), "sub/id.bin");
  const std::string call = "NVMe( \"IN\", 512, OpCode:6, CDW10:1, IOFile:\"" + file + "\" );";
  Run(call);
  Run(call);
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(FileBytes(file).size(), 1024u);
}

TEST_F(NvmeCommands, NsidReplacesCdw1AndOpcodeTheLowByteOfCdw0) {
  Run("NVMe( IO:\"IN_NOSHOW\", DataLenByte:4096, OpCode:0x06, CDW0:0x12345600, CDW1:5, NSID:1, CDW10:0 );");
  ASSERT_EQ(Code(), 0) << Description();  // namespace 5 does not exist: NSID 1 went out
  EXPECT_EQ(DumpPath(), "");              // the NOSHOW form announces nothing
  const std::vector<uint8_t> entry = AdminEntries().back();
  EXPECT_EQ(Dword(entry, 0), 0x12345606u);
  EXPECT_EQ(Dword(entry, 1), 1u);
}

TEST_F(NvmeCommands, RawNoDataSendsNoBuffer) {
  lab->requestLog().Clear();
  Run("NVMe( IO:\"NODATA\", DataLenByte:4096, OpCode:0x0A, CDW10:0x06 );");
  std::vector<sim::RequestRecord> sent;
  for (const sim::RequestRecord& r : lab->requestLog().Records())
    if (r.operation == "NvmeAdmin") sent.push_back(r);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].length, 0u);
}

TEST_F(NvmeCommands, RawDataOutOfZerosLeavesAZeroFile) {
  // Firmware Image Download of one 4096-byte chunk at offset 0.
  Run("NVMe( IO:\"OUT\", DataLenByte:4096, OpCode:0x11, CDW10:1023, CDW11:0 );");
  ASSERT_EQ(Code(), 0) << Description();
  const std::vector<engine::OutputLine> body = Body();
  ASSERT_EQ(body.size(), 2u);
  EXPECT_EQ(body[0].colour, engine::colour::kOrange);
  EXPECT_EQ(DumpBytes(), std::vector<uint8_t>(4096, 0));
  std::vector<sim::RequestRecord> sent;
  for (const sim::RequestRecord& r : lab->requestLog().Records())
    if (r.operation == "NvmeAdmin") sent.push_back(r);
  EXPECT_EQ(sent.back().length, 4096u);
}

TEST_F(NvmeCommands, RawDataOutFromAFile) {
  const std::string file = platform::JoinPath(dir.path(), "chunk.bin");
  ASSERT_TRUE(platform::WriteWholeFile(file, std::vector<uint8_t>(100, 0x5A)));
  Run("NVMe( IO:\"OUT\", DataLenByte:512, OpCode:0x11, CDW10:127, IOFile:\"" + file + "\" );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(BodyTexts()[0], "IOFile   : " + file);
  EXPECT_EQ(DumpPath(), file);
  EXPECT_EQ(Body().back().text, "ResultValue : 0x0000");
}

TEST_F(NvmeCommands, RawParameterFailures) {
  lab->requestLog().Clear();
  Run("NVMe( IO:\"SIDEWAYS\", DataLenByte:512, OpCode:6 );");
  EXPECT_EQ(Code(), -2);
  EXPECT_EQ(Description(), "Parameters not match spec or over limit. IO Parameter Error ");
  Run("NVMe( IO:\"OUT\", DataLenByte:512, OpCode:0x11, IOFile:\"no_such_file.bin\" );");
  EXPECT_EQ(Code(), -11);
  EXPECT_EQ(Description(), "File Open Fail or File Does Not Exist. no_such_file.bin");
  Run("NVMe( IO:\"IN\", DataLenByte:0xFFFFFFFF, OpCode:6 );");
  EXPECT_EQ(Code(), -2);
  EXPECT_TRUE(AdminEntries().empty());
}

TEST_F(NvmeCommands, RawDataInFailureWritesNothing) {
  Run("NVMe( IO:\"IN\", DataLenByte:512, OpCode:0xC5 );");  // an opcode the controller does not know
  EXPECT_EQ(Code(), -74);
  EXPECT_EQ(DumpPath(), "");
  for (const std::string& line : BodyTexts()) EXPECT_FALSE(line.starts_with("ResultValue")) << line;
}

TEST_F(NvmeCommands, ResultHexItemsByPosition) {
  Run("NVMe( IO:\"IN\", DataLenByte:512, OpCode:6, CDW10:1, ResultHex:\"0:2:Num|24|24:8:Str\" );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(DumpPath(), "");  // the dump is announced without a line when ResultHex is given
  ASSERT_TRUE(HasVar("ResultHex0"));
  EXPECT_EQ(Var("ResultHex0").number, 0xCAFE);
  EXPECT_FALSE(HasVar("ResultHex1"));
  ASSERT_TRUE(HasVar("ResultHex2"));
  EXPECT_EQ(Var("ResultHex2").text, "KESTRUNE");
  EXPECT_EQ(Body().back().text, "ResultValue : 0x0000");
}

TEST_F(NvmeCommands, GetLogPageLengths) {
  Run("Page = GetLogPage( ID:2, DataLenByte:0 );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(DumpBytes().size(), 512u);
  EXPECT_EQ(Body()[0].text, "Return Value  : 0x00000000");
  EXPECT_EQ(Var("Page").number, 0);

  lab->requestLog().Clear();
  for (const char* length : {"6", "0x40004"}) {
    Run(std::string("Page = GetLogPage( ID:2, DataLenByte:") + length + " );");
    EXPECT_EQ(Code(), -2) << length;
  }
  Run("Page = GetLogPage( ID:0x102 );");
  EXPECT_EQ(Code(), -2);
  EXPECT_TRUE(AdminEntries().empty());
}

TEST_F(NvmeCommands, GetFeatureNameValueAndFields) {
  Run("Cache = GetFeature( FeatureId:0x06 );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(BodyTexts(), (std::vector<std::string>{"Feature ID 0x06: Write Cache",
                                                   "Feature Value  : 0x00000001", "    WCE        : 0x01"}));
  EXPECT_EQ(Var("Cache").number, 1);
}

TEST_F(NvmeCommands, GetFeatureWithoutNameOrFields) {
  // SEL 1 (the default value) rides in CDW10 beside the identifier: 0x106 has no name and no fields.
  // The bridge carries the whole command (the inbox driver's feature query has no room for SEL).
  Select(disk::testing::kBridge);
  Run("Dflt = GetFeature( 0x106 );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"Feature Value  : 0x00000001"});
  // A feature the controller does not have: the failure and nothing else.
  Run("Lba = GetFeature( 0x03 );");
  EXPECT_EQ(Code(), -74);
  EXPECT_EQ(Var("Lba").number, 0);
  for (const std::string& line : BodyTexts()) EXPECT_FALSE(line.starts_with("Feature")) << line;
}

TEST_F(NvmeCommands, TemperatureThresholdRoundTripKeepsTheRunGoing) {
  Run("SetFeature_TemperatureTH( KTemperature1:348, KTemperature2:358 );");
  EXPECT_EQ(Code(), 1);        // the transport's result is the last completion code
  EXPECT_EQ(ErrorCheck(), 1);  // but it does not end the run
  const std::vector<uint8_t> entry = AdminEntries().back();
  EXPECT_EQ(entry[0], 0x09);
  EXPECT_EQ(Dword(entry, 10), 0x80000010u);
  EXPECT_EQ(Dword(entry, 11), 0x015C0166u);

  Run("T = GetFeature_TemperatureTH();");
  ASSERT_EQ(Code(), 1) << Description();
  EXPECT_EQ(ErrorCheck(), 1);
  EXPECT_EQ(Var("T").number, 0x015C0166);
  EXPECT_EQ(BodyTexts(), (std::vector<std::string>{"Thermal Management Temperature 1 (TMT1) : 348 Kelvin",
                                                   "Thermal Management Temperature 2 (TMT2) : 358 Kelvin"}));
}

TEST_F(NvmeCommands, TemperatureOverSixteenBitsIsRefused) {
  lab->requestLog().Clear();
  Run("SetFeature_TemperatureTH( KTemperature1:0x10000, KTemperature2:358 );");
  EXPECT_EQ(Code(), -2);
  Run("SetFeature_TemperatureTH( 348, 0x1FFFF );");
  EXPECT_EQ(Code(), -2);
  EXPECT_TRUE(AdminEntries().empty());
}

TEST_F(NvmeCommands, WriteCacheForms) {
  Run("SetFeature_WriteCache( Enable:FALSE );");
  ASSERT_EQ(Code(), 1) << Description();
  EXPECT_EQ(Dword(AdminEntries().back(), 11), 0u);
  Run("W = GetFeature_WriteCache();");
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"Device Cache Enable : 0"});
  EXPECT_EQ(Var("W").number, 0);
  Run("SetFeature_WriteCache( TRUE );");
  Run("W = GetFeature_WriteCache();");
  EXPECT_EQ(Var("W").number, 1);
  EXPECT_EQ(ErrorCheck(), 1);
}

TEST_F(NvmeCommands, FixedFormFailureIsReported) {
  sim::FaultPlan plan;
  plan.nvmeFailures[sim::NvmeFaultKey(false, 0x0A)] = sim::kInjectedNvmeStatus;
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  Run("W = GetFeature_WriteCache();");
  EXPECT_EQ(Code(), -74);
  EXPECT_EQ(Var("W").number, 0);
  for (const std::string& line : BodyTexts()) EXPECT_FALSE(line.starts_with("Device Cache")) << line;
}

TEST_F(NvmeCommands, SecurityEraseAsksFirst) {
  Run("SecurErase( ConfirmMsg:TRUE );");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"---- Cancel Command ----"});
}

TEST_F(NvmeCommands, SecurityEraseFormatsARawDisk) {
  lab->requestLog().Clear();
  Run("SecurErase( ConfirmMsg:FALSE );");
  ASSERT_EQ(Code(), 0) << Description();
  const std::vector<uint8_t> entry = AdminEntries().back();
  EXPECT_EQ(entry[0], 0x80);
  EXPECT_EQ(Dword(entry, 1), 0xFFFFFFFFu);
  EXPECT_EQ(Dword(entry, 10), 0x200u);
  EXPECT_GE(host.monotonic, 3000u);
}

TEST_F(NvmeCommands, SecurityEraseTrimsWhenTheFormatFails) {
  sim::FaultPlan plan;
  plan.nvmeFailures[sim::NvmeFaultKey(false, 0x80)] = sim::kInjectedNvmeStatus;
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  lab->requestLog().Clear();
  Run("SecurErase( FALSE );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"Security Erase Fail, Try again by TRIM all disk..."});
  const std::vector<sim::RequestRecord> trims = Requests("Trim");
  ASSERT_EQ(trims.size(), 1u);
  EXPECT_EQ(trims[0].offset, 0u);
  EXPECT_EQ(trims[0].length, 64 * disk::testing::kMiB);
}

TEST_F(NvmeCommands, SecurityEraseCleansADiskWithVolumesFirst) {
  Select(disk::testing::kLettered);
  lab->requestLog().Clear();
  Run("SecurErase( ConfirmMsg:FALSE );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"Change to Disk: " + disk::testing::kLettered});
  EXPECT_EQ(AdminEntries().back()[0], 0x80);  // the format went to the whole, now RAW, disk
  for (const platform::VolumeNode& v : lab->Enumerate().volumes) EXPECT_NE(v.letter, "D:");
}

TEST_F(NvmeCommands, SafeRemoveUntilTheDiskIsGone) {
  Run("SafeRemoveNVMe();");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(BodyTexts(), (std::vector<std::string>{
                             "Remove Disk & Parent Controller Driver", "You can safely remove the device",
                             "After replug device, find new device by command: ReScanDriver();"}));
}

}  // namespace
}  // namespace kestrune::devcmd
