// The security state machine of the simulated SATA drives: every transition SecurErase relies on,
// the frozen and locked states, the attempt counter and what a power cycle does.
#include "sim/ata_security.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace kestrune::sim {
namespace {

// A 512-byte block: control word, then the password text in byte order.
std::array<uint8_t, 512> Block(const char* password, uint16_t control = 0) {
  std::array<uint8_t, 512> b{};
  b[0] = static_cast<uint8_t>(control);
  b[1] = static_cast<uint8_t>(control >> 8);
  std::memcpy(&b[2], password, std::strlen(password));
  return b;
}

TEST(AtaSecurity, TheEraseSequenceWalksSec1Sec5Sec1Sec2) {
  AtaSecurity s;
  EXPECT_EQ(s.state(), SecState::kSec1);
  EXPECT_EQ(s.Word128(), 0x0021);  // supported, enhanced erase supported
  ASSERT_TRUE(s.SetPassword(Block("5729")));
  EXPECT_EQ(s.state(), SecState::kSec5);
  EXPECT_EQ(s.Word128() & 0x0002, 0x0002);
  EXPECT_TRUE(s.Unlock(Block("5729")));  // unlocked already: the password still has to match
  s.Next(0xF3);
  ASSERT_TRUE(s.ErasePrepare());
  s.Next(0xF4);
  bool enhanced = true;
  ASSERT_TRUE(s.EraseUnit(Block("5729"), enhanced));
  EXPECT_FALSE(enhanced);
  EXPECT_EQ(s.state(), SecState::kSec1);           // the erase takes the user password off
  EXPECT_FALSE(s.DisablePassword(Block("5729")));  // nothing to disable
  ASSERT_TRUE(s.FreezeLock());
  EXPECT_EQ(s.state(), SecState::kSec2);
  EXPECT_EQ(s.Word128() & 0x0008, 0x0008);
  s.PowerCycle();
  EXPECT_EQ(s.state(), SecState::kSec1);
}

TEST(AtaSecurity, FrozenRefusesEverySecurityCommandButFreezeLock) {
  AtaSecurity s;
  ASSERT_TRUE(s.SetPassword(Block("pw")));
  ASSERT_TRUE(s.FreezeLock());
  EXPECT_EQ(s.state(), SecState::kSec6);
  bool enhanced = false;
  EXPECT_FALSE(s.SetPassword(Block("pw")));
  EXPECT_FALSE(s.Unlock(Block("pw")));
  EXPECT_FALSE(s.ErasePrepare());
  EXPECT_FALSE(s.EraseUnit(Block("pw"), enhanced));
  EXPECT_FALSE(s.DisablePassword(Block("pw")));  // why FREEZE LOCK must come after DISABLE PASSWORD
  EXPECT_TRUE(s.FreezeLock());
  s.PowerCycle();  // an enabled drive comes up locked
  EXPECT_EQ(s.state(), SecState::kSec4);
  EXPECT_FALSE(s.FreezeLock());
  EXPECT_TRUE(s.Unlock(Block("pw")));
  EXPECT_TRUE(s.DisablePassword(Block("pw")));
  EXPECT_EQ(s.state(), SecState::kSec1);
}

TEST(AtaSecurity, EraseUnitOnlyRightAfterErasePrepare) {
  AtaSecurity s;
  ASSERT_TRUE(s.SetPassword(Block("pw")));
  bool enhanced = false;
  s.Next(0xF4);
  EXPECT_FALSE(s.EraseUnit(Block("pw"), enhanced));
  s.Next(0xF3);
  ASSERT_TRUE(s.ErasePrepare());
  s.Next(0xEC);  // another command in between ends the preparation
  s.Next(0xF4);
  EXPECT_FALSE(s.EraseUnit(Block("pw"), enhanced));
  s.Next(0xF3);
  ASSERT_TRUE(s.ErasePrepare());
  s.Next(0xF4);
  EXPECT_TRUE(s.EraseUnit(Block("pw", 0x0002), enhanced));
  EXPECT_TRUE(enhanced);
}

TEST(AtaSecurity, FiveWrongPasswordsExpireTheCountUntilAPowerCycle) {
  AtaSecurity s;
  ASSERT_TRUE(s.SetPassword(Block("right")));
  s.PowerCycle();
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(s.Unlock(Block("wrong")));
  EXPECT_TRUE(s.countExpired());
  EXPECT_EQ(s.Word128() & 0x0010, 0x0010);
  EXPECT_FALSE(s.Unlock(Block("right")));  // expired: even the right one is refused
  s.PowerCycle();
  EXPECT_TRUE(s.Unlock(Block("right")));
}

TEST(AtaSecurity, MasterPasswordAtHighAndMaximumLevel) {
  AtaSecurity s;
  ASSERT_TRUE(s.SetPassword(Block("master", 0x0001)));  // master: security stays disabled
  EXPECT_EQ(s.state(), SecState::kSec1);
  ASSERT_TRUE(s.SetPassword(Block("user")));  // high level
  s.PowerCycle();
  EXPECT_TRUE(s.Unlock(Block("master", 0x0001)));
  ASSERT_TRUE(s.SetPassword(Block("user", 0x0100)));  // maximum level
  EXPECT_EQ(s.Word128() & 0x0100, 0x0100);
  s.PowerCycle();
  EXPECT_FALSE(s.Unlock(Block("master", 0x0001)));  // the master password unlocks no more
  s.Next(0xF3);
  ASSERT_TRUE(s.ErasePrepare());
  s.Next(0xF4);
  bool enhanced = false;
  EXPECT_TRUE(s.EraseUnit(Block("master", 0x0001), enhanced));  // but it still erases
  EXPECT_EQ(s.state(), SecState::kSec1);
}

}  // namespace
}  // namespace kestrune::sim
