// The companion channel's slots, and LogView_Send / LogView_Wait against a companion played by the
// test on the fake host's in-process blocks.
#include <gtest/gtest.h>

#include <atomic>

#include <functional>

#include "base/bytes.h"
#include "command_fixture.h"
#include "engine/companion_channel.h"
#include "platform/companion_signal.h"

namespace kestrune::engine {
namespace {

TEST(CompanionSlotTest, TextsFitTheirSlotOrAreRefused) {
  struct Case {
    const char* what;
    std::string text;
    CompanionSlot slot;
    bool fits;
  };
  const Case cases[] = {
      {"empty", "", kCommandSlot, true},
      {"127 characters", std::string(127, 'c'), kCommandSlot, true},
      {"128 characters would overrun the key word slot", std::string(128, 'c'), kCommandSlot, false},
      {"a character outside the BMP takes two units", std::string(125, 'k') + "\xF0\x9D\x84\x9E",
       kKeywordSlot, true},
      {"and two units too many", std::string(126, 'k') + "\xF0\x9D\x84\x9E", kKeywordSlot, false},
      {"a long reply", std::string(1023, 'r'), kReplySlot, true},
      {"non-ASCII", "\xC3\xA9t\xC3\xA9", kKeywordSlot, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> block(kCompanionBlockBytes, 0xEE);
    const std::vector<uint8_t> before = block;
    EXPECT_EQ(PutCompanionSlot(block, c.slot, c.text), c.fits);
    if (!c.fits) {
      EXPECT_EQ(block, before) << "nothing written";
      continue;
    }
    EXPECT_EQ(GetCompanionSlot(block, c.slot), c.text);
    // Only the slot changed, and all of it (no stale tail after the NUL).
    for (size_t i = 0; i < block.size(); ++i) {
      const bool inSlot = i >= c.slot.firstChar * 2 && i < (c.slot.firstChar + c.slot.chars) * 2;
      if (!inSlot) ASSERT_EQ(block[i], 0xEE) << i;
      if (inSlot && i >= c.slot.firstChar * 2 + Utf16Units(c.text) * 2) ASSERT_EQ(block[i], 0) << i;
    }
  }
}

// A host whose pauses count and which, at a chosen pause, plays the companion's part. A delayed send
// pauses on its own thread, so the count is shared.
class CompanionHost : public testing::FakeHost {
 public:
  void SleepMs(uint32_t ms) override {
    FakeHost::SleepMs(ms);
    if (++pauses == actAtPause.load() && action) action();
  }
  std::atomic<int> pauses{0};
  std::atomic<int> actAtPause{0};
  std::function<void()> action;
};

class CompanionCommandsTest : public CommandFixture<CompanionHost> {
 protected:
  CompanionCommandsTest() {
    EXPECT_TRUE(RegisterCompanionCommands(interp).empty());
    std::string why;
    // The companion keeps both blocks mapped, as the real one does.
    channel = host.OpenSharedBlock(kCompanionBlockName, kCompanionBlockBytes, why);
    signal = host.OpenSharedBlock(platform::kCompanionSignalName, platform::kCompanionSignalBytes, why);
  }
  std::span<uint8_t> Block() { return channel->Bytes(); }
  uint32_t Signals() { return base::GetLe32(signal->Bytes().data()); }
  // The companion answers: the reply first, then the key word goes.
  void Answer(const std::string& reply) {
    PutCompanionSlot(Block(), kReplySlot, reply);
    PutCompanionSlot(Block(), kKeywordSlot, "");
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const OutputLine& line : Lines()) texts.push_back(line.text);
    return texts;
  }

  std::unique_ptr<platform::SharedBlock> channel;
  std::unique_ptr<platform::SharedBlock> signal;
};

TEST_F(CompanionCommandsTest, WaitShowsTheReplyOnceTheKeyWordIsCleared) {
  PutCompanionSlot(Block(), kReplySlot, "stale reply");
  host.actAtPause = 6;  // 1.5 s
  host.action = [&] {
    EXPECT_EQ(GetCompanionSlot(Block(), kKeywordSlot), "SN");
    EXPECT_EQ(GetCompanionSlot(Block(), kReplySlot), "") << "cleared before the key word was put";
    Answer("SN1234");
  };
  Run("LogView_Wait( Command:\"SN\", TimeoutSec:5 );");
  EXPECT_EQ(Signals(), 1u);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Wait [SN] From LogView 4 sec...", "Result : SN1234"}));
  EXPECT_EQ(Lines().back().colour, colour::kYellow);
  EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(CompanionCommandsTest, WaitWithoutTimeoutCountsDotsUntilAnswered) {
  host.actAtPause = 4 * 12;  // 12 s
  host.action = [&] { Answer("late"); };
  Run("LogView_Wait( Command:\"K\", TimeoutSec:0 );");
  // The dots start afresh every tenth second; the last rewrite was at 11 s.
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Wait [K] From LogView.", "Result : late"}));
}

TEST_F(CompanionCommandsTest, WaitTimesOutWithAnEmptyResultAndTakesTheKeyWordBack) {
  Run("LogView_Wait( Command:\"K\", TimeoutSec:2 );");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Wait [K] From LogView 1 sec...",
                                               "Wait [K] From LogView 2 sec Timeout", "Result : "}));
  EXPECT_EQ(Lines()[1].colour, colour::kRed);
  EXPECT_EQ(GetCompanionSlot(Block(), kKeywordSlot), "");
  EXPECT_EQ(host.monotonic.load(), 2000u);
}

TEST_F(CompanionCommandsTest, ACancelledWaitSaysSo) {
  host.actAtPause = 3;
  host.action = [&] { interp.view(0).cancel.store(true); };
  Run("LogView_Wait( Command:\"K\", TimeoutSec:0 );");
  EXPECT_EQ(Texts().back(), "---- Cancel Command ----");
  EXPECT_EQ(Lines().back().colour, colour::kCyan);
}

TEST_F(CompanionCommandsTest, TextsLongerThanASlotAreRefusedWithMinusTwo) {
  const std::string long128(128, 'x');
  Run("LogView_Wait( Command:\"" + long128 + "\", TimeoutSec:1 );");
  EXPECT_EQ(LastError(),
            "Parameters not match spec or over limit. LogView_Wait: the key word has 128 characters, "
            "more than 127");
  Run("LogView_Send( Command:\"" + long128 + "\", DelayRunSec:0 );");
  EXPECT_EQ(LastError(),
            "Parameters not match spec or over limit. LogView_Send: the command has 128 characters, "
            "more than 127");
  EXPECT_EQ(GetCompanionSlot(Block(), kCommandSlot), "");
  EXPECT_EQ(GetCompanionSlot(Block(), kKeywordSlot), "");
  EXPECT_EQ(Signals(), 0u);
}

TEST_F(CompanionCommandsTest, SendPutsTheCommandAndSignals) {
  Run("LogView_Send( Command:\"Open Log\", DelayRunSec:0 );");
  EXPECT_EQ(GetCompanionSlot(Block(), kCommandSlot), "Open Log");
  EXPECT_EQ(Signals(), 1u);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"LogView_Send : Open Log"}));
}

TEST_F(CompanionCommandsTest, TheEndOfTheRunWaitsForADelayedSend) {
  interp.RunScriptText(0, "LogView_Send( Command:\"later\", DelayRunSec:2 );\r\n",
                       platform::JoinPath(dir.path(), "send.scpt"));
  EXPECT_EQ(GetCompanionSlot(Block(), kCommandSlot), "later");
  EXPECT_EQ(Signals(), 1u);
}

TEST_F(CompanionCommandsTest, ARunStoppedByAnErrorDropsItsDelayedSend) {
  host.WarpClock(1);  // real time: the countdown must not run out before the error stops the run
  interp.RunScriptText(0, "LogView_Send( Command:\"later\", DelayRunSec:5 );\r\nx = missing;\r\n",
                       platform::JoinPath(dir.path(), "stopped.scpt"));
  EXPECT_EQ(GetCompanionSlot(Block(), kCommandSlot), "");
  EXPECT_EQ(Signals(), 0u);
  EXPECT_LT(host.MonotonicMs(), 2000u) << "the end of the run did not sit out the countdown";
}

}  // namespace
}  // namespace kestrune::engine
