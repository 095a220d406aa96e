// SyncInit and SyncWait on the in-process barrier blocks: simulated processes are interpreters
// with fake barrier systems of their own pids that share the blocks.
#include "engine/barrier_commands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "command_fixture.h"
#include "engine/barrier_state.h"
#include "support/fake_barrier.h"

namespace kestrune::engine {
namespace {

using testing::FakeBarrierSystem;

// A host whose pauses count and which, at a chosen pause, runs an action (a cancel, a death).
class EventHost : public testing::FakeHost {
 public:
  void SleepMs(uint32_t ms) override {
    FakeHost::SleepMs(ms);
    if (++pauses == actAtPause && action) action();
  }
  std::atomic<int> pauses{0};
  int actAtPause = 0;
  std::function<void()> action;
};

constexpr uint32_t kSelf = 4242;
constexpr uint32_t kOther = 4343;

class BarrierCommandsTest : public CommandFixture<EventHost> {
 protected:
  BarrierCommandsTest() {
    FakeBarrierSystem::Reset();
    UseBarrierSystem(interp, barriers);
    EXPECT_TRUE(RegisterBarrierCommands(interp).empty());
  }
  ~BarrierCommandsTest() override { FakeBarrierSystem::Reset(); }

  // The shared block as another process sees it, under its lock.
  template <class F>
  void InBlock(F f) {
    auto block = FakeBarrierSystem::BlockOf(BarrierBlockName());
    std::lock_guard<std::mutex> guard(block->lock);
    BarrierTable t(block->bytes);
    f(t);
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const OutputLine& line : Lines()) texts.push_back(line.text);
    return texts;
  }
  bool HasLine(const std::string& text) {
    for (const OutputLine& line : Lines())
      if (line.text == text) return true;
    return false;
  }

  FakeBarrierSystem barriers{host, kSelf};
};

TEST_F(BarrierCommandsTest, ASingleParticipantPassesAtOnceAndStoresOne) {
  Run("SyncInit();");
  Run("r = SyncWait( TimeoutSec:5 );");
  Run("s = SyncWait();");
  EXPECT_EQ(Var("r").number, 1);
  EXPECT_EQ(Var("s").number, 1);
  EXPECT_EQ(host.monotonic.load(), 0u) << "nothing waited";
  ASSERT_FALSE(Lines().empty());
  EXPECT_EQ(Lines().back().text, "Wait 1 Threads Synchronize...");
  EXPECT_EQ(Lines().back().colour, 0x969696u);
  InBlock([](BarrierTable& t) {
    EXPECT_EQ(t.Generation(), 3u);
    EXPECT_EQ(t.Pending(), 1);
  });
  EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(BarrierCommandsTest, SyncWaitWithoutSyncInitEndsWithMinusTwo) {
  Run("r = SyncWait( TimeoutSec:5 );");
  EXPECT_EQ(ErrorCount(), 1);
  EXPECT_EQ(LastError(), "Parameters not match spec or over limit. SyncInit(); No Initial");
}

TEST_F(BarrierCommandsTest, ASecondSyncInitDoesNotCountTwice) {
  Run("SyncInit();");
  Run("SyncInit( DelayRunSec:2 );");
  InBlock([](BarrierTable& t) { EXPECT_EQ(t.Total(), 1); });
  EXPECT_EQ(host.monotonic.load(), 2000u);
  Run("r = SyncWait();");
  EXPECT_EQ(Var("r").number, 1);
}

TEST_F(BarrierCommandsTest, TheDelayOfSyncInitEndsWhenTheRunIsCancelled) {
  host.actAtPause = 3;
  host.action = [&] { interp.view(0).cancel.store(true); };
  Run("SyncInit( DelayRunSec:3600 );");
  EXPECT_EQ(host.monotonic.load(), 750u);
}

TEST_F(BarrierCommandsTest, ATimeoutStoresZeroAndLeavesNoArrivalBehind) {
  InBlock([](BarrierTable& t) { t.Join({kOther, 1000}, 0, "\\\\.\\PHYSICALDRIVE1"); });
  Run("SyncInit();");
  Run("r = SyncWait( TimeoutSec:12 );");
  EXPECT_EQ(Var("r").number, 0);
  EXPECT_EQ(host.monotonic.load(), 12000u);
  // The roll call rewrote the line at 5 and 10 seconds; the timeout follows it in orange.
  std::vector<std::string> texts = Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "Wait 2 Threads Synchronize... missing 4343 \\\\.\\PHYSICALDRIVE1");
  EXPECT_EQ(texts.back(), "Wait Synchronize Timeout");
  EXPECT_EQ(Lines().back().colour, 0x277FFFu);
  InBlock([](BarrierTable& t) {
    EXPECT_EQ(t.Pending(), 2) << "the timed-out arrival was taken back";
    EXPECT_EQ(t.Generation(), 1u);
  });
  // The other one arriving now does not release: it waits for this view's next SyncWait.
  InBlock([](BarrierTable& t) { EXPECT_FALSE(t.Arrive({kOther, 1000}, 0).released); });
  Run("q = SyncWait( TimeoutSec:12 );");
  EXPECT_EQ(Var("q").number, 1);
  EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(BarrierCommandsTest, ACancelledWaitGivesItsArrivalBack) {
  InBlock([](BarrierTable& t) { t.Join({kOther, 1000}, 0, ""); });
  Run("SyncInit();");
  host.actAtPause = 4;
  host.action = [&] { interp.view(0).cancel.store(true); };
  Run("r = SyncWait( TimeoutSec:0 );");
  EXPECT_EQ(Var("r").number, 0);
  EXPECT_FALSE(HasLine("Wait Synchronize Timeout"));
  InBlock([](BarrierTable& t) { EXPECT_EQ(t.Pending(), 2); });
}

TEST_F(BarrierCommandsTest, AParticipantThatDiesWhileOthersWaitFreesThem) {
  InBlock([](BarrierTable& t) { t.Join({kOther, 1000}, 0, ""); });
  Run("SyncInit();");
  host.actAtPause = 8;
  host.action = [] { FakeBarrierSystem::Kill(kOther); };
  Run("r = SyncWait( TimeoutSec:60 );");
  EXPECT_EQ(Var("r").number, 1);
  EXPECT_EQ(host.monotonic.load(), 2000u);
  InBlock([](BarrierTable& t) { EXPECT_EQ(t.Total(), 1); });
}

TEST_F(BarrierCommandsTest, TheEndOfTheRunLeavesAndReleasesThoseWaitingForIt) {
  InBlock([](BarrierTable& t) {
    t.Join({kOther, 1000}, 0, "");
    t.Arrive({kOther, 1000}, 0);
  });
  interp.RunScriptText(0, "SyncInit();\r\nPrint( Output:\"registered\" );\r\n",
                       platform::JoinPath(dir.path(), "leave.scpt"));
  InBlock([](BarrierTable& t) {
    EXPECT_EQ(t.Total(), 1);
    EXPECT_EQ(t.Generation(), 2u) << "the one waiting for this view went on";
  });
}

TEST_F(BarrierCommandsTest, ARefusedBlockIsReportedAndNothingRegisters) {
  barriers.refusal =
      "refused the barrier block /dev/shm/kestrune.1000.UNI_SHAREE: it holds 16 bytes, not 3200";
  Run("SyncInit();");
  EXPECT_EQ(LastError(), "Error. SyncInit: " + barriers.refusal);
  Run("r = SyncWait();");
  EXPECT_EQ(LastError(), "Parameters not match spec or over limit. SyncInit(); No Initial");
}

TEST_F(BarrierCommandsTest, AFullParticipantTableEndsWithMinusTwo) {
  InBlock([](BarrierTable& t) {
    for (uint32_t i = 1; i <= kBarrierCapacity; ++i) t.Join({10000 + i, 1}, 0, "");
  });
  Run("SyncInit();");
  EXPECT_EQ(LastError(),
            "Parameters not match spec or over limit. SyncInit: the barrier has 64 participants already");
  Run("r = SyncWait();");
  EXPECT_EQ(LastError(), "Parameters not match spec or over limit. SyncInit(); No Initial");
}

TEST_F(BarrierCommandsTest, TheQuietWaitReportsWithoutLines) {
  std::string why;
  EXPECT_EQ(WaitAtBarrier(interp, 0, 5, why), BarrierWaitResult::kNotRegistered);
  Run("SyncInit();");
  InBlock([](BarrierTable& t) { t.Join({kOther, 1000}, 0, ""); });
  EXPECT_EQ(BarrierParticipantCount(interp, 0), 2u);
  const size_t lines = Lines().size();
  EXPECT_EQ(WaitAtBarrier(interp, 0, 3, why), BarrierWaitResult::kTimedOut);
  EXPECT_EQ(Lines().size(), lines);
}

// Two simulated processes on threads of their own meet at ten barriers in a row.
TEST(BarrierConcurrencyTest, TwoProcessesPassTenBarriersTogether) {
  FakeBarrierSystem::Reset();
  struct Process {
    testing::TempDir dir;
    testing::FakeHost host;
    testing::CapturedConsole console;
    Interpreter interp;
    FakeBarrierSystem barriers;
    explicit Process(uint32_t pid)
        : interp(host, testing::WorkFolderSettings(dir.path()), &console), barriers(host, pid) {
      UseBarrierSystem(interp, barriers);
      EXPECT_TRUE(RegisterBarrierCommands(interp).empty());
    }
  };
  Process a(kSelf);
  Process b(kOther);
  // Both are registered before either runs, as if their SyncInit lines had come first; the
  // scripts' own SyncInit then finds them in and counts nothing.
  {
    auto block = FakeBarrierSystem::BlockOf(BarrierBlockName());
    BarrierTable t(block->bytes);
    t.Join(a.barriers.Self(), 0, "");
    t.Join(b.barriers.Self(), 0, "");
  }
  std::string body = "SyncInit();\r\n";
  for (int i = 0; i < 10; ++i) body += "r = SyncWait( TimeoutSec:600 );\r\nPrint( Output:r );\r\n";
  std::thread tb([&] { b.interp.RunScriptText(0, body, platform::JoinPath(b.dir.path(), "b.scpt")); });
  a.interp.RunScriptText(0, body, platform::JoinPath(a.dir.path(), "a.scpt"));
  tb.join();
  for (Process* p : {&a, &b}) {
    int ones = 0;
    for (const std::string& line : p->console.lines)
      if (line == "        1") ++ones;
    EXPECT_EQ(ones, 10);
  }
  auto block = FakeBarrierSystem::BlockOf(BarrierBlockName());
  BarrierTable t(block->bytes);
  EXPECT_EQ(t.Total(), 0) << "both left at the end of their runs";
  EXPECT_EQ(t.Generation(), 11u);
  FakeBarrierSystem::Reset();
}

}  // namespace
}  // namespace kestrune::engine
