// The barrier block's layout and its state machine: join, arrive, release and re-arm, withdraw,
// leave and the purge of dead participants, each checked against pending, total and generation.
#include "engine/barrier_state.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace kestrune::engine {
namespace {

using base::GetLe32;
using base::GetLe64;
using base::PutLe32;
using platform::ProcessIdentity;

// A block as the platform hands it over: zeros, the magic and generation 1.
struct Block {
  std::array<uint8_t, platform::kBarrierBlockBytes> bytes{};
  Block() {
    PutLe32(bytes.data() + platform::kBarrierMagicOffset, platform::kBarrierMagic);
    PutLe32(bytes.data() + platform::kBarrierGenerationOffset, 1);
  }
  BarrierTable table() { return BarrierTable(bytes); }
};

const ProcessIdentity kProcesses[] = {{101, 7001}, {102, 7002}, {103, 7003}};

enum class Op { kJoin, kArrive, kWithdraw, kLeave, kDie };

struct Step {
  Op op;
  int who;        // index into kProcesses
  bool released;  // what the step returned: released (arrive, leave, purge) or "passed" (withdraw)
  int32_t pending;
  int32_t total;
  uint32_t generation;
};

struct Scenario {
  const char* name;
  std::vector<Step> steps;
};

const Scenario kScenarios[] = {
    {"a single participant passes at once and is re-armed",
     {{Op::kJoin, 0, false, 1, 1, 1}, {Op::kArrive, 0, true, 1, 1, 2}, {Op::kArrive, 0, true, 1, 1, 3}}},
    {"the last of three arrivals releases and re-arms all",
     {{Op::kJoin, 0, false, 1, 1, 1},
      {Op::kJoin, 1, false, 2, 2, 1},
      {Op::kJoin, 2, false, 3, 3, 1},
      {Op::kArrive, 0, false, 2, 3, 1},
      {Op::kArrive, 1, false, 1, 3, 1},
      {Op::kArrive, 2, true, 3, 3, 2},
      {Op::kArrive, 1, false, 2, 3, 2}}},
    {"a second join counts once",
     {{Op::kJoin, 0, false, 1, 1, 1}, {Op::kJoin, 0, false, 1, 1, 1}, {Op::kJoin, 1, false, 2, 2, 1}}},
    {"a timeout takes the arrival back, so the barrier waits for it again",
     {{Op::kJoin, 0, false, 1, 1, 1},
      {Op::kJoin, 1, false, 2, 2, 1},
      {Op::kArrive, 0, false, 1, 2, 1},
      {Op::kWithdraw, 0, false, 2, 2, 1},
      {Op::kArrive, 1, false, 1, 2, 1},
      {Op::kArrive, 0, true, 2, 2, 2}}},
    {"a withdraw after the release counts as passed and changes nothing",
     {{Op::kJoin, 0, false, 1, 1, 1},
      {Op::kJoin, 1, false, 2, 2, 1},
      {Op::kArrive, 0, false, 1, 2, 1},
      {Op::kArrive, 1, true, 2, 2, 2},
      {Op::kWithdraw, 0, true, 2, 2, 2}}},
    {"the leaving of the only missing participant releases the others",
     {{Op::kJoin, 0, false, 1, 1, 1},
      {Op::kJoin, 1, false, 2, 2, 1},
      {Op::kJoin, 2, false, 3, 3, 1},
      {Op::kArrive, 0, false, 2, 3, 1},
      {Op::kArrive, 1, false, 1, 3, 1},
      {Op::kLeave, 2, true, 2, 2, 2}}},
    {"a leaver that had arrived leaves no arrival behind",
     {{Op::kJoin, 0, false, 1, 1, 1},
      {Op::kJoin, 1, false, 2, 2, 1},
      {Op::kArrive, 0, false, 1, 2, 1},
      {Op::kLeave, 0, false, 1, 1, 1},
      {Op::kArrive, 1, true, 1, 1, 2},
      {Op::kLeave, 1, false, 0, 0, 2}}},
    {"a dead missing participant is purged and the waiters go on",
     {{Op::kJoin, 0, false, 1, 1, 1},
      {Op::kJoin, 1, false, 2, 2, 1},
      {Op::kJoin, 2, false, 3, 3, 1},
      {Op::kArrive, 0, false, 2, 3, 1},
      {Op::kArrive, 1, false, 1, 3, 1},
      {Op::kDie, 2, true, 2, 2, 2}}},
    {"a dead waiter is purged without releasing the others",
     {{Op::kJoin, 0, false, 1, 1, 1},
      {Op::kJoin, 1, false, 2, 2, 1},
      {Op::kJoin, 2, false, 3, 3, 1},
      {Op::kArrive, 0, false, 2, 3, 1},
      {Op::kDie, 0, false, 2, 2, 1},
      {Op::kArrive, 1, false, 1, 2, 1},
      {Op::kArrive, 2, true, 2, 2, 2}}},
};

TEST(BarrierStateTest, Scenarios) {
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    Block block;
    BarrierTable t = block.table();
    std::set<uint32_t> dead;
    std::array<uint32_t, 3> seen{};  // the generation each one arrived at
    for (size_t i = 0; i < scenario.steps.size(); ++i) {
      const Step& s = scenario.steps[i];
      SCOPED_TRACE("step " + std::to_string(i));
      const ProcessIdentity& who = kProcesses[s.who];
      bool released = false;
      switch (s.op) {
        case Op::kJoin:
          EXPECT_NE(t.Join(who, 0, "disk"), BarrierTable::Joined::kFull);
          break;
        case Op::kArrive: {
          BarrierTable::Arrival a = t.Arrive(who, 0);
          EXPECT_TRUE(a.registered);
          released = a.released;
          seen[s.who] = a.generation;
          break;
        }
        case Op::kWithdraw:
          released = t.Withdraw(who, 0, seen[s.who]);
          break;
        case Op::kLeave:
          released = t.Leave(who, 0);
          break;
        case Op::kDie:
          dead.insert(who.pid);
          EXPECT_EQ(t.Purge([&](const ProcessIdentity& p) { return dead.count(p.pid) == 0; }, released), 1u);
          break;
      }
      EXPECT_EQ(released, s.released);
      EXPECT_EQ(t.Pending(), s.pending);
      EXPECT_EQ(t.Total(), s.total);
      EXPECT_EQ(t.Generation(), s.generation);
    }
  }
}

TEST(BarrierStateTest, TheLayoutKeepsTheOlderWordsAndPutsEntriesAfterByte32) {
  Block block;
  PutLe32(block.bytes.data() + 8, 0xDEADBEEF);  // never a handle: rewritten as zero
  BarrierTable t = block.table();
  ASSERT_EQ(t.Join({0x01020304, 0x1122334455667788ull}, 0, "\\\\.\\PHYSICALDRIVE1"),
            BarrierTable::Joined::kAdded);
  ASSERT_EQ(t.Join({0x0A0B0C0D, 5}, 0, "a caption far longer than the field holds"),
            BarrierTable::Joined::kAdded);
  const uint8_t* b = block.bytes.data();
  EXPECT_EQ(GetLe32(b + 0), 2u);  // pending
  EXPECT_EQ(GetLe32(b + 4), 2u);  // total
  EXPECT_EQ(GetLe64(b + 8), 0u);
  EXPECT_EQ(GetLe32(b + 16), platform::kBarrierMagic);
  EXPECT_EQ(GetLe32(b + 20), 1u);  // generation
  EXPECT_EQ(GetLe32(b + 24), 64u);
  EXPECT_EQ(GetLe32(b + 32), 0x01020304u);
  EXPECT_EQ(GetLe64(b + 40), 0x1122334455667788ull);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 56)), "\\\\.\\PHYSICALDRIVE1");
  EXPECT_EQ(GetLe32(b + 32 + 48), 0x0A0B0C0Du);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 56 + 48)), "a caption far longer th");
  t.Arrive({0x01020304, 0x1122334455667788ull}, 0);
  EXPECT_EQ(GetLe32(b + 48), 1u);  // the arrival's generation
  // Nothing reaches the platform's lock bytes.
  for (size_t i = platform::kBarrierLockOffset; i < platform::kBarrierBlockBytes; ++i)
    ASSERT_EQ(b[i], 0) << i;
}

TEST(BarrierStateTest, AReusedProcessIdIsAnotherParticipant) {
  Block block;
  BarrierTable t = block.table();
  t.Join({101, 7001}, 0, "");
  EXPECT_FALSE(t.Arrive({101, 9999}, 0).registered);
  EXPECT_FALSE(t.Arrive({101, 7001}, 1).registered) << "another view of the same process";
  EXPECT_EQ(t.Join({101, 7001}, 1, ""), BarrierTable::Joined::kAdded);
  EXPECT_EQ(t.Total(), 2);
}

TEST(BarrierStateTest, RefreshRebuildsCountsAHolderLeftHalfWritten) {
  Block block;
  BarrierTable t = block.table();
  t.Join({101, 1}, 0, "");
  t.Join({102, 2}, 0, "");
  t.Arrive({101, 1}, 0);
  PutLe32(block.bytes.data() + 0, 0xFFFFFFFF);  // pending -1, as a dead holder may leave it
  PutLe32(block.bytes.data() + 4, 77);
  t.Refresh();
  EXPECT_EQ(t.Pending(), 1);
  EXPECT_EQ(t.Total(), 2);
}

TEST(BarrierStateTest, TheGenerationSkipsZeroWhenItWraps) {
  Block block;
  PutLe32(block.bytes.data() + platform::kBarrierGenerationOffset, 0xFFFFFFFF);
  BarrierTable t = block.table();
  t.Join({101, 1}, 0, "");
  EXPECT_TRUE(t.Arrive({101, 1}, 0).released);
  EXPECT_EQ(t.Generation(), 1u);
  EXPECT_EQ(t.Pending(), 1) << "re-armed, not taken for arrived at generation 0";
}

}  // namespace
}  // namespace kestrune::engine
