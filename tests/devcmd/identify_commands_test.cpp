// Identify and the Identify dumps and lists on the simulated lab's drives.
#include <gtest/gtest.h>

#include "devcmd/nvme_decoders_dump.h"
#include "nvme_lab.h"

namespace kestrune::devcmd {
namespace {

class IdentifyCommands : public testing::NvmeLab {};

TEST_F(IdentifyCommands, SummaryOfTheLabDrive) {
  Run("Identify();");
  ASSERT_EQ(Code(), 0) << Description();
  std::vector<std::string> lines = BodyTexts();
  ASSERT_GE(lines.size(), 24u);
  EXPECT_EQ(lines[0], "Model Number (MN)          : KESTRUNE TEST NVMe0");
  EXPECT_EQ(lines[1], "Firmware Version (FWver)   : T100");
  EXPECT_EQ(lines[4], "Serial Number (SN)         : SERIAL0");
  EXPECT_EQ(lines[10], "Max LBA                    : 0x20000");
  EXPECT_EQ(lines[13], "LBA Sector Size            : 512");
  EXPECT_EQ(lines[17], "PhysicalDrive              : \\\\.\\PHYSICALDRIVE0");
  EXPECT_EQ(lines[18], "Cmd Through                : NVM");
  EXPECT_EQ(lines[19], "Port ID                    : PCIE-01:00.0");
}

TEST_F(IdentifyCommands, ItemsGiveTheResult) {
  Run("Model = Identify( Items:\"MN\" );");
  EXPECT_EQ(Var("Model").text, "KESTRUNE TEST NVMe0");
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"Model Number (MN)          : KESTRUNE TEST NVMe0"});
  Run("Both = Identify( Items:\"MN|FWver\" );");
  EXPECT_EQ(Var("Both").text, "\"KESTRUNE TEST NVMe0\",\"T100\"");
  Run("Count = Identify( Items:\"|NN|\" );");
  EXPECT_EQ(Var("Count").type, engine::ValueType::kNumber);
  EXPECT_EQ(Var("Count").number, 1);
  Run("Size = Identify( \"SECTOR_SIZE\" );");
  EXPECT_EQ(Var("Size").number, 512);
}

TEST_F(IdentifyCommands, ControllerDumpWindowAndFile) {
  Run("Identify_Controller( StartByte:76, EndByte:76 );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Body().size(), 6u);
  EXPECT_TRUE(Body()[0].text.starts_with("Byte 76 "));
  EXPECT_EQ(DumpPath(), "");  // announced to the result file only
  const std::vector<std::string> files = platform::ListFiles(dir.path());
  ASSERT_EQ(
      std::count_if(files.begin(), files.end(), [](const std::string& f) { return f.ends_with(".Hex"); }), 1);
  for (const std::string& f : files)
    if (f.ends_with(".Hex")) {
      std::vector<uint8_t> page = platform::ReadWholeFile(platform::JoinPath(dir.path(), f)).value();
      ASSERT_EQ(page.size(), 4096u);
      EXPECT_EQ(std::string(page.begin() + 24, page.begin() + 43), "KESTRUNE TEST NVMe0");
    }

  Run("Identify_Controller( 5000, 5000 );");
  ASSERT_EQ(Body().size(), 1u);
  EXPECT_TRUE(Body()[0].text.starts_with("Byte 3072-4095 "));
}

TEST_F(IdentifyCommands, NamespaceDumpAndLists) {
  Run("Identify_Namespace( StartByte:0, EndByte:7 );");
  ASSERT_EQ(Code(), 0) << Description();
  ASSERT_EQ(Body().size(), 1u);
  EXPECT_TRUE(Body()[0].text.ends_with("| 0x20000"));

  Run("Identify_ActiveNamespaceID();");
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"Active Namespace ID : 0x0001"});
}

TEST_F(IdentifyCommands, CancelledDumpLeavesNoFile) {
  interp.view(0).cancel = true;
  Run("Identify_Namespace();");
  EXPECT_EQ(Body().back().text, "---- Cancel Command ----");
  for (const std::string& f : platform::ListFiles(dir.path())) EXPECT_FALSE(f.ends_with(".Hex")) << f;
}

TEST_F(IdentifyCommands, BridgeDriveAnswersThroughItsRoute) {
  Select(disk::testing::kBridge);
  Run("Model = Identify( Items:\"MN\" );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Var("Model").text, "KESTRUNE TEST Bridge3");
}

TEST_F(IdentifyCommands, ReadFailureIsReportedAndNothingPrinted) {
  sim::FaultPlan plan;
  plan.nvmeFailures[sim::NvmeFaultKey(false, 0x06)] = sim::kInjectedNvmeStatus;
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  Run("Model = Identify( Items:\"MN\" );");
  EXPECT_EQ(Code(), -74);
  EXPECT_EQ(Description(), "IO Control Error. ");
  EXPECT_EQ(Var("Model").text, "");
  Run("Identify_Controller();");
  EXPECT_EQ(Code(), -74);
  EXPECT_EQ(DumpPath(), "");
}

}  // namespace
}  // namespace kestrune::devcmd
