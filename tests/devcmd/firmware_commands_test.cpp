// UpdateFWex, UpdateFW and FWActive on the lab's NVMe drive (inbox driver, three slots, slot 1
// read-only) with the lab's image format: refusals before anything is sent, injected download
// failures, Commit 255, and an update whose slot runs after a power cycle.
#include <gtest/gtest.h>

#include <algorithm>

#include "devcmd/nvme_command_support.h"
#include "base/text.h"
#include "nvme_lab.h"
#include "platform/host.h"
#include "sim/lab_firmware_image.h"

namespace kestrune::devcmd {
namespace {

class FirmwareCommands : public testing::NvmeLab {
 protected:
  std::string Image(const std::string& name, std::vector<uint8_t> bytes) {
    const std::string path = platform::JoinPath(dir.path(), name);
    EXPECT_TRUE(platform::WriteWholeFile(path, bytes));
    return path;
  }
  bool Printed(std::string_view text) {
    const std::vector<std::string> lines = BodyTexts();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  std::string Running() {
    std::vector<uint8_t> log(512);
    EXPECT_EQ(ReadLogPage(interp, 0x03, log), 1);
    const uint8_t active = log[0] & 7;
    return std::string(log.begin() + 8 * active, log.begin() + 8 * active + 8);
  }
};

TEST_F(FirmwareCommands, RefusalsSendNothing) {
  const std::string good = Image("good.fw", sim::MakeLabImage("KSTN0009", 8192));
  const struct {
    std::string statement;
    int32_t code;
    const char* detail;
  } cases[] = {
      {"UpdateFWex( File:\"" + Image("tail.fw", std::vector<uint8_t>(4196, 1)) + "\" );", -5, "FW size not align 4096"},
      {"UpdateFWex( File:\"" + Image("empty.fw", {}) + "\" );", -10, "Get File Size Error"},
      {"UpdateFWex( File:\"" + Image("big.fw", std::vector<uint8_t>((64 << 20) + 4096)) + "\" );", -2,
       "FW image too large"},
      {"UpdateFWex( File:\"" + good + "\", Slot:4 );", -2, "beyond the drive's 3 firmware slots"},
      {"UpdateFWex( File:\"" + good + "\", Commit:9 );", -2, "Commit 0-7 or 255"},
      {"UpdateFWex( File:\"nothere.fw\" );", -11, "nothere.fw"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement.substr(0, 40));
    lab->requestLog().Clear();
    Run(c.statement);
    EXPECT_EQ(Code(), c.code);
    EXPECT_NE(Description().find(c.detail), std::string::npos) << Description();
    // The route's limits may be asked for; no image byte and no commit goes out.
    for (const sim::RequestRecord& r : lab->requestLog().Records())
      if (r.operation != "FirmwareGetInfo") EXPECT_EQ(r.operation.find("Firmware"), std::string::npos) << r.operation;
  }
}

TEST_F(FirmwareCommands, AFailingPieceIsRetriedThenEndsTheDownloadWithoutCommit) {
  const std::string image = Image("new.fw", sim::MakeLabImage("KSTN0010", 4 * 4096));
  sim::FaultPlan plan;
  plan.firmwareFailPiece = 2;  // once: the second try goes through
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  Run("UpdateFWex( File:\"" + image + "\", Commit:255 );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Printed("No Commit"));

  plan = sim::FaultPlan{};
  plan.nvmeFailures[sim::NvmeFaultKey(false, 0x11)] = 0x0006;  // every piece, every try
  Drive(disk::testing::kRawNvme)->set_faults(plan);
  Run("UpdateFWex( File:\"" + image + "\" );");
  EXPECT_LT(Code(), 0);
  EXPECT_NE(Description().find("FW Download Error"), std::string::npos) << Description();
  EXPECT_FALSE(Printed("Commit Action"));
}

TEST_F(FirmwareCommands, NoCommitThenUpdateThenPowerCycleRunsTheNewSlot) {
  const std::string image = Image("new.fw", sim::MakeLabImage("KSTN0011", 3 * 4096));
  Run("UpdateFWex( File:\"" + image + "\", Slot:3, Commit:255 );");
  EXPECT_EQ(Code(), 0);
  EXPECT_TRUE(Printed("No Commit"));
  EXPECT_FALSE(Printed("Commit Action"));

  Run("Rev = UpdateFW( File:\"" + image + "\" );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(Printed("Commit Action: 3"));  // chosen on the inbox driver
  EXPECT_TRUE(Printed("Next Active Slot           : 2"));  // read-only slot 1 moved to 2
  EXPECT_TRUE(Printed("Slot 2 Revision            : KSTN0011"));
  EXPECT_EQ(Var("Rev").text, base::Trim(Running()));
  lab->PowerCut();
  EXPECT_EQ(Running(), "KSTN0011");

  Run("FWActive( 1, 2 );");  // back to slot 1 at the next reset; the run goes on
  EXPECT_EQ(Code(), 1);
  EXPECT_EQ(ErrorCheck(), 1);
  EXPECT_TRUE(Printed("Next Active Slot           : 1"));
}

}  // namespace
}  // namespace kestrune::devcmd
