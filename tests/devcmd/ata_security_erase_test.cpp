// SecurErase on the lab's SATA drives: a frozen drive is re-plugged until it is not, the sequence
// erases the data and leaves security disabled, and a failure takes the password off again.
#include <gtest/gtest.h>

#include <algorithm>

#include "ata_lab.h"
#include "base/completion_codes.h"
#include "disk/ata_operations.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;

class AtaSecurityErase : public testing::AtaLab {
 protected:
  AtaSecurityErase() {
    Run("ATAWrite( LBA:100, SectorCount:1, WritePattern:0x11223344, MarkSectorHeader:TRUE, "
        "ATA_WMode:\"Normal\" );");
    EXPECT_EQ(Code(), 0) << Description();
  }
  uint16_t Word128() {
    disk::AtaIdentity id;
    std::vector<uint8_t> data(512);
    EXPECT_EQ(disk::AtaIdentifyData(*lab, state().current, data), 1);
    return static_cast<uint16_t>(data[256] | data[257] << 8);
  }
  bool Printed(std::string_view line) {
    const std::vector<std::string> lines = BodyTexts();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  bool SectorIsZero() {
    std::vector<uint8_t> s(512, 0xFF);
    EXPECT_TRUE(lab->Open(testing::kRawSata, platform::OpenAccess::kRead)->Read(100 * 512, s));
    return std::all_of(s.begin(), s.end(), [](uint8_t b) { return b == 0; });
  }
  void Freeze() {
    Run("ATA( IO:\"NODATA\", ATACmd:0xF5, Feature:0, SectorCount:0 );");
    ASSERT_EQ(Code(), 0) << Description();
    ASSERT_EQ(Word128() & 0x0008, 0x0008);
  }
};

TEST_F(AtaSecurityErase, FrozenDriveIsReplugedThenErasedAndLeftUnlocked) {
  Freeze();
  ui->okAnswers = {true};
  ui->onQuestion = [this](std::string_view) {
    Drive(testing::kRawSata)->PowerCut();
  };  // the operator re-plugs
  lab->requestLog().Clear();
  Run("SecurErase( ConfirmMsg:FALSE );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(ui->questions, std::vector<std::string>{"RePlug SSD again \r\nthen push [OK] button"});
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"Secure Erase OK"});
  EXPECT_TRUE(SectorIsZero());
  const uint16_t w = Word128();
  EXPECT_EQ(w & 0x0006, 0);       // neither enabled nor locked
  EXPECT_EQ(w & 0x0008, 0x0008);  // frozen until the next power cycle
  // SET PASSWORD, UNLOCK, ERASE PREPARE, ERASE UNIT, FREEZE LOCK: no DISABLE PASSWORD after a compliant
  // erase.
  std::vector<uint8_t> security;
  for (uint8_t c : SentAtaCommands())
    if (c >= 0xF1 && c <= 0xF6) security.push_back(c);
  EXPECT_EQ(security, (std::vector<uint8_t>{0xF1, 0xF2, 0xF3, 0xF4, 0xF5}));
  Drive(testing::kRawSata)->PowerCut();
  EXPECT_EQ(Word128() & 0x0006, 0);  // not locked after a power cycle either
}

TEST_F(AtaSecurityErase, PasswordIsUserAtHighLevelInWordsOneToSixteen) {
  sim::FaultPlan plan;
  plan.ataFailures = {{0xF3, 0x04}};  // stop after SET PASSWORD and UNLOCK
  Drive(testing::kRawSata)->set_faults(plan);
  Run("SecurErase( ConfirmMsg:FALSE );");
  EXPECT_EQ(Code(), code::kSecurityErasePrepareFailed);
  for (const sim::RequestRecord& r : lab->requestLog().Records()) {
    if (r.operation == "Ata" && r.command[0] == 0xF1) {
      ASSERT_EQ(r.length, 512u);
    }
  }
  // The password came off again, and the report says so.
  EXPECT_TRUE(Printed("Security Left Enabled : 0"));
  EXPECT_EQ(Word128() & 0x0002, 0);
  EXPECT_FALSE(SectorIsZero());
}

TEST_F(AtaSecurityErase, FailureAfterSetPasswordNeverLeavesTheDriveLocked) {
  struct Case {
    uint8_t failing;
    int32_t code;
  };
  for (const Case& c : {Case{0xF2, code::kSecurityUnlockFailed}, Case{0xF4, code::kSecurityEraseFailed},
                        Case{0xF5, code::kSecurityLockFailed}}) {
    SCOPED_TRACE(c.failing);
    sim::FaultPlan plan;
    plan.ataFailures = {{c.failing, 0x04}};
    Drive(testing::kRawSata)->set_faults(plan);
    Run("SecurErase( ConfirmMsg:FALSE );");
    EXPECT_EQ(Code(), c.code);
    EXPECT_TRUE(Printed("Security Left Enabled : 0"));
    Drive(testing::kRawSata)->set_faults({});
    Drive(testing::kRawSata)->PowerCut();
    EXPECT_EQ(Word128() & 0x0006, 0);
  }
  sim::FaultPlan plan;
  plan.ataFailures = {{0xF1, 0x04}};
  Drive(testing::kRawSata)->set_faults(plan);
  Run("SecurErase( ConfirmMsg:FALSE );");
  EXPECT_EQ(Code(), code::kSecurityPasswordFailed);
  EXPECT_FALSE(Printed("Security Left Enabled : 0"));  // no password was set: nothing to take off
}

TEST_F(AtaSecurityErase, CancelledQuestionsEndTheCommand) {
  Run("SecurErase( ConfirmMsg:TRUE );");  // nobody answers "Security Erase?"
  EXPECT_EQ(ui->questions, std::vector<std::string>{"Security Erase?"});
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"---- Cancel Command ----"});
  Freeze();
  ui->questions.clear();
  ui->okAnswers = {true, false};  // OK without re-plugging: still frozen, asked again, then Cancel
  Run("SecurErase( ConfirmMsg:FALSE );");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(ui->questions.size(), 2u);
  EXPECT_EQ(BodyTexts(), std::vector<std::string>{"Secure Erase Cancel"});
  EXPECT_FALSE(SectorIsZero());
  Select(testing::kLetteredSata);
  Run("SecurErase( ConfirmMsg:FALSE );");
  EXPECT_EQ(Code(), code::kRawModeOnly);
}

}  // namespace
}  // namespace kestrune::devcmd
