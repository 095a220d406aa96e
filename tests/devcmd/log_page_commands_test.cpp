// SMART and the log-page decoders, and the remaining Identify list, on the simulated lab's drives.
#include <gtest/gtest.h>

#include "devcmd/nvme_state.h"
#include "nvme_lab.h"

namespace kestrune::devcmd {
namespace {

class LogPageCommands : public testing::NvmeLab {
 protected:
  size_t FilesEndingWith(std::string_view extension) {
    size_t n = 0;
    for (const std::string& f : platform::ListFiles(dir.path())) n += f.ends_with(extension) ? 1 : 0;
    return n;
  }
};

TEST_F(LogPageCommands, SmartItemGivesTheTemperatureAsANumber) {
  Run("T = SMART( Items:\"1\" );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Var("T").number, 313);
  EXPECT_TRUE(Var("T").IsNumeric());
  ASSERT_EQ(Body().size(), 1u);
  EXPECT_TRUE(Body()[0].text.starts_with("Byte 1         : Composite Temperature "));
  EXPECT_EQ(FilesEndingWith(".smart"), 0u);
  EXPECT_TRUE(LastSmartOf(interp, 0).valid);
  EXPECT_EQ(LastSmartOf(interp, 0).bytes[1], 313 & 0xFF);
}

TEST_F(LogPageCommands, SmartFullOutputAndDump) {
  Run("SMART();");  // ShowVSC not given: the standard rows only
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Body().size(), 31u);
  EXPECT_EQ(DumpPath(), "");
  EXPECT_EQ(FilesEndingWith(".smart"), 1u);

  Run("SMART( ShowVSC:1, Items:\"\" );");
  EXPECT_EQ(Body().size(), 95u);
  Run("GetLogPage_SMART( ShowVendor:2 );");
  EXPECT_EQ(Body().size(), 53u);
  EXPECT_EQ(FilesEndingWith(".smart"), 3u);
}

TEST_F(LogPageCommands, SmartItemsList) {
  Run("H = SMART( ShowVSC:1, Items:\"3|4 | 112\" );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Var("H").text, "0x64,0x0A,0x0000000000000001");
}

TEST_F(LogPageCommands, ErrorInformationListsTheFailedCommand) {
  Run("NVMe( IO:\"NODATA\", OpCode:0xC5 );");  // an opcode the controller rejects
  Run("GetLogPage_ErrorInfo();");
  ASSERT_EQ(Code(), 0) << Description();
  std::vector<std::string> lines = BodyTexts();
  ASSERT_EQ(lines.size(), 64u);
  EXPECT_TRUE(lines[1].starts_with("Error00 :                   1|           0|"));
}

TEST_F(LogPageCommands, FirmwareSlots) {
  Run("GetLogPage_FirmwareSlotInfo();");
  ASSERT_EQ(Code(), 0) << Description();
  std::vector<std::string> lines = BodyTexts();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[4], "Active Slot                         : 1");
  const std::string count = lines[6];
  ASSERT_TRUE(count.starts_with("Firmware Slot Count                 : "));
  const size_t slots = std::stoul(count.substr(count.find(':') + 2));
  ASSERT_EQ(lines.size(), 7 + slots);
  if (slots > 0) EXPECT_EQ(lines[7], "Slot1 Firmware                      : T100    ");
}

TEST_F(LogPageCommands, CommandEffectsOfTheLabController) {
  Run("GetLogPage_CommandEffect();");
  ASSERT_EQ(Code(), 0) << Description();
  std::vector<std::string> lines = BodyTexts();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "DWORD 6         : Admin Command Opcode (06)               | Identify"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "DWORD 258       : IO Command Opcode (02)                  | Read"),
            lines.end());
}

TEST_F(LogPageCommands, NamespaceDescriptor) {
  Run("Identify_DescriptorNamespac();");
  ASSERT_EQ(Code(), 0) << Description();
  std::vector<std::string> lines = BodyTexts();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].starts_with("Namespace ID Type (NIDT):  0x000"));
  EXPECT_TRUE(lines[1].starts_with("Namespace ID Length (NIDL) :  "));
}

TEST_F(LogPageCommands, FailedReadReportsAndLeavesAnEmptyResult) {
  sim::FaultPlan plan;
  plan.nvmeFailures[sim::NvmeFaultKey(false, 0x02)] = sim::kInjectedNvmeStatus;
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  Run("T = SMART( Items:\"1\" );");
  EXPECT_EQ(Code(), -74);
  EXPECT_EQ(Var("T").text, "");
  Run("SMART();");
  EXPECT_EQ(FilesEndingWith(".smart"), 0u);
  Run("GetLogPage_CommandEffect();");
  EXPECT_EQ(Code(), -74);
}

TEST_F(LogPageCommands, BridgeDriveReadsSmartThroughItsRoute) {
  Select(disk::testing::kBridge);
  Run("T = SMART( Items:\"1\" );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Var("T").number, 313);
}

}  // namespace
}  // namespace kestrune::devcmd
