// SyncInit and SyncWait: the barrier across the instances of one user (engine/barrier_state.h has
// the block's layout and its changes, platform/barrier_block.h the block, its lock and the wait).
//
// A waiter waits for the block's generation to change, which only the release does: a release
// cannot be missed between two looks, and nothing but all arrivals ends the wait early. Every
// change happens under the block's lock after participants whose process has died have been
// dropped, so a crashed instance never keeps the others waiting. A timeout, a cancel and the end of
// the run take back what the view put into the block.
#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/barrier_commands.h"
#include "engine/barrier_state.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::engine {
namespace {

namespace code = base::code;
using base::Format;

// Length of one wait: how soon a cancel, a dead participant or a lost wake-up is noticed.
constexpr uint32_t kWaitSliceMs = 250;
// How often a waiting SyncWait rewrites its line with the participants it still waits for.
constexpr uint64_t kRollCallMs = 5000;
constexpr uint32_t kDefaultTimeoutSec = 180;

// Each view's mapping of the block, from its SyncInit until its run ends (it is a participant
// while it has one). Made before any run; a slot is used by its view's run thread only.
struct BarrierViews {
  platform::BarrierSystem* system = &platform::DefaultBarrierSystem();
  std::array<std::unique_ptr<platform::BarrierBlock>, Interpreter::kViews> blocks;
};

// Runs change (which returns true when it released the barrier) on the block's table under the
// block's lock, after dropping the participants whose process has died, and wakes the waiters when
// the barrier was released. False, with why, when the lock could not be had.
template <class Change>
bool UnderLock(platform::BarrierSystem& system, platform::BarrierBlock& block, std::string& why,
               Change change) {
  bool repaired = false;
  if (!block.Lock(repaired, why)) return false;
  BarrierTable table(block.Bytes());
  if (repaired) table.Refresh();  // the last holder died: pending and total may be half written
  bool released = false;
  table.Purge([&system](const platform::ProcessIdentity& p) { return system.Alive(p); }, released);
  released = change(table) || released;
  block.Unlock();
  if (released) block.WakeWaiters();
  return true;
}

std::string RollCallText(int32_t total, const std::vector<BarrierParticipant>& missing) {
  std::string names;
  for (const BarrierParticipant& p : missing) {
    if (!names.empty()) names += ", ";
    names += std::to_string(p.process.pid);
    if (!p.caption.empty()) names += " " + p.caption;
  }
  return Format("Wait %d Threads Synchronize... missing %s", total, names.c_str());
}

// Shown lines of a waiting SyncWait; empty functions for the quiet wait.
struct WaitReport {
  std::function<void(int32_t total)> arrived;
  std::function<void(int32_t total, const std::vector<BarrierParticipant>& missing)> rollCall;
};

BarrierWaitResult Wait(Interpreter& interp, uint32_t view, uint32_t timeoutSec, std::string& why,
                       const WaitReport& report) {
  BarrierViews& state = interp.State<BarrierViews>();
  platform::BarrierBlock* block = state.blocks.at(view).get();
  if (!block) return BarrierWaitResult::kNotRegistered;
  platform::BarrierSystem& system = *state.system;
  const platform::ProcessIdentity self = system.Self();
  const std::string caption = interp.CurrentDevicePath();
  View& v = interp.view(view);
  platform::Host& host = interp.host();

  BarrierTable::Arrival arrival;
  int32_t total = 0;
  bool full = false;
  if (!UnderLock(system, *block, why, [&](BarrierTable& t) {
        arrival = t.Arrive(self, view);
        // Not in the table (another instance took it for dead): register again and arrive.
        if (!arrival.registered && t.Join(self, view, caption) != BarrierTable::Joined::kFull)
          arrival = t.Arrive(self, view);
        full = !arrival.registered;
        total = t.Total();
        return arrival.released;
      }))
    return BarrierWaitResult::kFailed;
  if (full) {
    why = Format("the barrier has %u participants already", static_cast<unsigned>(kBarrierCapacity));
    return BarrierWaitResult::kFailed;
  }
  if (report.arrived) report.arrived(total);
  if (arrival.released) return BarrierWaitResult::kReleased;

  const uint64_t start = host.MonotonicMs();
  const uint64_t limit = uint64_t{timeoutSec} * 1000u;
  uint64_t lastRollCall = start;
  for (;;) {
    uint64_t elapsed = host.MonotonicMs() - start;
    uint32_t slice = kWaitSliceMs;
    if (limit != 0 && limit > elapsed && limit - elapsed < slice)
      slice = static_cast<uint32_t>(limit - elapsed);
    block->WaitForChange(arrival.generation, slice);

    const uint64_t now = host.MonotonicMs();
    elapsed = now - start;
    const bool cancelled = v.cancel.load();
    const bool timeUp = limit != 0 && elapsed >= limit;
    const bool rollCallDue = report.rollCall && now - lastRollCall >= kRollCallMs;
    bool released = false;
    std::vector<BarrierParticipant> missing;
    if (!UnderLock(system, *block, why, [&](BarrierTable& t) {
          if (t.Released(arrival.generation))
            released = true;
          else if (cancelled || timeUp)
            released = t.Withdraw(self, view, arrival.generation);
          else if (rollCallDue) {
            missing = t.Missing();
            total = t.Total();
          }
          return false;
        }))
      return BarrierWaitResult::kFailed;
    if (released) return BarrierWaitResult::kReleased;
    if (cancelled) return BarrierWaitResult::kCancelled;
    if (timeUp) return BarrierWaitResult::kTimedOut;
    if (rollCallDue) {
      report.rollCall(total, missing);
      lastRollCall = now;
    }
  }
}

// Sleeps ms in slices, ending early when the view is cancelled.
void SleepUnlessCancelled(Interpreter& interp, const View& v, uint64_t ms) {
  while (ms > 0 && !v.cancel.load()) {
    const uint32_t slice = static_cast<uint32_t>(ms < kWaitSliceMs ? ms : kWaitSliceMs);
    interp.host().SleepMs(slice);
    ms -= slice;
  }
}

// SyncInit( DelayRunSec:0 ): registers the view as a participant (once, however often it is
// called), then sleeps DelayRunSec seconds unless the run is cancelled.
void SyncInit(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {"DelayRunSec"});
  const uint32_t delaySec = in.U32(0);
  if (!in.ok()) return;
  BarrierViews& state = interp.State<BarrierViews>();
  std::unique_ptr<platform::BarrierBlock>& block = state.blocks.at(view);
  if (!block) {
    std::string why;
    std::unique_ptr<platform::BarrierBlock> opened = state.system->Open(BarrierBlockName(), why);
    if (!opened) return interp.ReportCompletion(view, code::kError, "SyncInit: " + why);
    platform::BarrierSystem& system = *state.system;
    const platform::ProcessIdentity self = system.Self();
    const std::string caption = interp.CurrentDevicePath();
    BarrierTable::Joined joined = BarrierTable::Joined::kFull;
    if (!UnderLock(system, *opened, why, [&](BarrierTable& t) {
          joined = t.Join(self, view, caption);
          return false;
        }))
      return interp.ReportCompletion(view, code::kError, "SyncInit: " + why);
    if (joined == BarrierTable::Joined::kFull)
      return interp.ReportCompletion(view, code::kBadParameter,
                                     Format("SyncInit: the barrier has %u participants already",
                                            static_cast<unsigned>(kBarrierCapacity)));
    block = std::move(opened);
  }
  SleepUnlessCancelled(interp, v, uint64_t{delaySec} * 1000u);
}

// SyncWait( TimeoutSec:180 ): waits until every participant has arrived (stores 1), the timeout
// passes (stores 0) or the run is cancelled (stores 0). TimeoutSec 0 waits without limit.
void SyncWait(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {"TimeoutSec"});
  const uint32_t timeoutSec = in.U32(kDefaultTimeoutSec);
  if (!in.ok()) return;
  OutputWriter& writer = interp.writer();
  ViewOutput* out = interp.output(view);
  LineRef line;
  WaitReport report;
  report.arrived = [&](int32_t total) {
    line = writer.WriteLine(out, Format("Wait %d Threads Synchronize...", total), kDetail, 10, colour::kGrey);
  };
  report.rollCall = [&](int32_t total, const std::vector<BarrierParticipant>& missing) {
    const std::string text = RollCallText(total, missing);
    if (!writer.RewriteLine(out, line, text)) line = writer.WriteLine(out, text, kDetail, 10, colour::kGrey);
  };
  std::string why;
  switch (Wait(interp, view, timeoutSec, why, report)) {
    case BarrierWaitResult::kNotRegistered:
      StoreValue(v.vars, errors, name, Value::Number(0));  // so that "r = SyncWait();" reports only this
      return interp.ReportCompletion(view, code::kBadParameter, "SyncInit(); No Initial");
    case BarrierWaitResult::kFailed:
      StoreValue(v.vars, errors, name, Value::Number(0));
      return interp.ReportCompletion(view, code::kError, "SyncWait: " + why);
    case BarrierWaitResult::kTimedOut:
      writer.WriteLine(out, "Wait Synchronize Timeout", kDetail, 10, colour::kOrange);
      StoreValue(v.vars, errors, name, Value::Number(0));
      return;
    case BarrierWaitResult::kCancelled:
      StoreValue(v.vars, errors, name, Value::Number(0));
      return;
    case BarrierWaitResult::kReleased:
      StoreValue(v.vars, errors, name, Value::Number(1));
      return;
  }
}

// The end of a run: the view stops being a participant. When it was the last one the others
// waited for, they go on.
void LeaveBarrier(Interpreter& interp, uint32_t view) {
  BarrierViews& state = interp.State<BarrierViews>();
  std::unique_ptr<platform::BarrierBlock>& block = state.blocks.at(view);
  if (!block) return;
  platform::BarrierSystem& system = *state.system;
  const platform::ProcessIdentity self = system.Self();
  std::string why;
  // A lock that does not come leaves the entry; the others drop it once this process has ended.
  UnderLock(system, *block, why, [&](BarrierTable& t) { return t.Leave(self, view); });
  block.reset();
}

constexpr HandlerRow kHandlers[] = {
    {"SyncInit", kAnyDisk, SyncInit},
    {"SyncWait", kAnyDisk, SyncWait},
};

}  // namespace

std::string BarrierBlockName() {
  const char* name = std::getenv("KESTRUNE_BARRIER_NAME");
  return name && *name ? std::string(name) : std::string("UNI_SHAREE");
}

void UseBarrierSystem(Interpreter& interp, platform::BarrierSystem& system) {
  interp.State<BarrierViews>().system = &system;
}

BarrierWaitResult WaitAtBarrier(Interpreter& interp, uint32_t view, uint32_t timeoutSec, std::string& why) {
  return Wait(interp, view, timeoutSec, why, WaitReport{});
}

uint32_t BarrierParticipantCount(Interpreter& interp, uint32_t view) {
  BarrierViews& state = interp.State<BarrierViews>();
  platform::BarrierBlock* block = state.blocks.at(view).get();
  if (!block) return 0;
  int32_t total = 0;
  std::string why;
  UnderLock(*state.system, *block, why, [&](BarrierTable& t) {
    total = t.Total();
    return false;
  });
  return total > 0 ? static_cast<uint32_t>(total) : 0;
}

std::vector<HandlerRow> RegisterBarrierCommands(Interpreter& interp) {
  interp.State<BarrierViews>();  // made before any run, so no run thread is the first to use it
  interp.AddRunEndHook([&interp](uint32_t view) { LeaveBarrier(interp, view); });
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
