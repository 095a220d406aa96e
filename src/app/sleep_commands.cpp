// PowerState_S3S4, OneShot_S3S4 and IsS3S4Running: the machine sleeps (S3) or hibernates (S4) and
// wakes by a timer, once or in cycles.
//
// The cycles run on a thread of the view's own. Its parameters are a record under a lock: a second
// PowerState_S3S4 while cycling takes effect at the next cycle, also when it comes while the
// cycling is deciding to end by its limits (that decision and the running flag share the lock, so
// a new record is never lost between them). A failed suspend is reported by the
// run thread after its statement (Interpreter::PostCompletion), and no wake-up line is printed for
// it. The run's end waits for the cycling: with StopByJobEnd it stops after the sleep under way,
// without it when its cycle or time limit ends it (or the run is cancelled).
#include "app/reboot_commands.h"

#include <array>
#include <atomic>
#include <mutex>
#include <thread>

#include "app/machine_control.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/detail_line.h"
#include "engine/arguments.h"
#include "engine/elapsed_time.h"
#include "engine/output.h"
#include "engine/view.h"

namespace kestrune::app {
namespace {

namespace code = base::code;
using base::Format;
using engine::ArgReader;
using engine::HandlerRow;
using engine::Interpreter;
using engine::kAnyDisk;
using engine::kDetail;
using platform::SleepResult;
using platform::SleepState;
namespace colour = engine::colour;

constexpr int64_t kMaxSeconds = 7 * 24 * 3600;
constexpr uint64_t kLateMs = 10000;  // a wake this much later than its timer is said to be late

struct CycleRecord {
  int state = 3;  // 3, 4, or 7 for S3 and S4 in turn
  uint32_t sleepSec = 60;
  uint32_t intervalSec = 30;
  uint32_t delaySec = 5;
  uint32_t limitSec = 0;
  uint32_t limitCycles = 1;
  bool stopByJobEnd = true;
};

struct ViewCycle {
  std::mutex lock;
  CycleRecord record;       // guarded by lock
  uint64_t generation = 0;  // guarded by lock: counts the records stored
  std::thread thread;
  std::atomic<bool> running{false};  // changed under lock; read without it by IsS3S4Running
  std::atomic<bool> jobEnded{false};
};

// The record in use and the generation it was taken at.
uint64_t TakeRecord(ViewCycle& vc, CycleRecord& r) {
  std::lock_guard<std::mutex> guard(vc.lock);
  r = vc.record;
  return vc.generation;
}

// Whether the cycling may end by a limit of the record of generation seen: not when a newer record
// came meanwhile (it takes effect at the next cycle). Ending clears running under the lock.
bool MayEnd(ViewCycle& vc, uint64_t seen) {
  std::lock_guard<std::mutex> guard(vc.lock);
  if (vc.generation != seen) return false;
  vc.running.store(false);
  return true;
}

struct SleepCycles {
  std::array<ViewCycle, Interpreter::kViews> views;
};

constexpr auto& Line = engine::DetailLine;

// Reads PowerState: "S3" 3, "S4" 4, and with allowBoth "S3+S4" 7; 0 otherwise.
int StateOf(const std::string& text, bool allowBoth) {
  if (base::EqualsNoCase(text, "S3")) return 3;
  if (base::EqualsNoCase(text, "S4")) return 4;
  if (allowBoth && base::EqualsNoCase(text, "S3+S4")) return 7;
  return 0;
}

// One sleep; true when the machine woke from it. A failure is posted for the run thread.
bool SleepOnce(Interpreter& interp, uint32_t view, SleepState state, uint32_t seconds, uint64_t& sleptMs) {
  platform::Power& power = *MachineControlOf(interp).power;
  platform::Host& host = interp.host();
  const uint64_t start = host.MonotonicMs();
  std::string why;
  const SleepResult result = power.SleepAndWake(state, seconds, why);
  sleptMs = host.MonotonicMs() - start;
  if (result == SleepResult::kNotOffered) {
    interp.PostCompletion(view, code::kNotSupported, Format("this machine has no S%d", static_cast<int>(state)));
    return false;
  }
  if (result == SleepResult::kFailed) {
    interp.PostCompletion(view, code::kError, Format("the suspend to S%d failed: %s", static_cast<int>(state), why.c_str()));
    return false;
  }
  if (sleptMs > uint64_t{seconds} * 1000 + kLateMs)
    Line(interp, view, Format("[PowerState] Wake late by %llu sec",
                              static_cast<unsigned long long>((sleptMs - uint64_t{seconds} * 1000) / 1000)),
         colour::kYellow);
  return true;
}

// Waits seconds on a grey line counting down, in slices that watch stop. False when stopped.
bool CountDown(Interpreter& interp, uint32_t view, uint32_t seconds, const char* format,
               const std::function<bool()>& stop) {
  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  engine::LineRef line = writer.WriteLine(out, "Wait", kDetail, 10, colour::kGrey);
  for (uint32_t left = seconds; left > 0; --left) {
    writer.RewriteLine(out, line, Format(format, left));
    for (int slice = 0; slice < 10; ++slice) {
      if (stop()) return false;
      interp.host().SleepMs(100);
    }
  }
  writer.RewriteLine(out, line, " ");
  return !stop();
}

void Cycle(Interpreter& interp, uint32_t view, ViewCycle& vc) {
  engine::View& v = interp.view(view);
  platform::Host& host = interp.host();
  auto cancelled = [&] { return v.cancel.load(); };
  CycleRecord r;
  TakeRecord(vc, r);
  if (r.delaySec != 0 && !CountDown(interp, view, r.delaySec, "Start Sleep Remain %d sec...", cancelled)) return;
  const uint64_t runStart = host.MonotonicMs();
  for (uint32_t cycle = 1;; ++cycle) {
    const uint64_t seen = TakeRecord(vc, r);  // a later PowerState_S3S4 takes effect here
    const int s = r.state == 7 ? (cycle % 2 == 1 ? 3 : 4) : r.state;
    Line(interp, view, Format("[PowerState] Sleep to S%d, Cycle:%u", s, cycle), colour::kGreen);
    uint64_t sleptMs = 0;
    // A failed sleep ends the cycling, unless a newer record came meanwhile: its command asked for
    // a cycling of its own, which goes on at the next cycle.
    if (!SleepOnce(interp, view, static_cast<SleepState>(s), r.sleepSec, sleptMs)) {
      if (MayEnd(vc, seen)) return;
      continue;
    }
    Line(interp, view,
         Format("[PowerState] Weakup from S%d, Cycle:%u, Elapsed Time: %s", s, cycle,
                engine::ElapsedTimeText(sleptMs).c_str()),
         colour::kWhite);
    Line(interp, view, Format("[PowerState] Elapsed Time(sec): %llu", static_cast<unsigned long long>(sleptMs / 1000)),
         colour::kWhite);
    const bool cycleLimit = r.limitCycles != 0 && cycle >= r.limitCycles;
    if ((cycleLimit || (r.limitSec != 0 && host.MonotonicMs() - runStart > uint64_t{r.limitSec} * 1000)) &&
        MayEnd(vc, seen)) {
      Line(interp, view, cycleLimit ? "[PowerState] Stop by Cycle Limit" : "[PowerState] Stop by Time Limit",
           colour::kLightBlue);
      return;
    }
    auto stop = [&] { return cancelled() || (r.stopByJobEnd && vc.jobEnded.load()); };
    if (!CountDown(interp, view, r.intervalSec, "Next Sleep Remain %d sec...", stop) || stop()) {
      if (!cancelled()) Line(interp, view, "[PowerState] Stop by Job End", colour::kLightBlue);
      return;
    }
  }
}

// The run's end: the cycling stops at its next check (StopByJobEnd) or runs to its limits.
void EndCycling(Interpreter& interp, uint32_t view) {
  ViewCycle& vc = interp.State<SleepCycles>().views.at(view);
  vc.jobEnded.store(true);
  if (vc.thread.joinable()) vc.thread.join();
  vc.jobEnded.store(false);
}

// Reads the seconds parameters shared by both commands: -2 for a negative or huge one.
bool SecondsInRange(Interpreter& interp, uint32_t view, std::initializer_list<std::pair<const char*, int64_t>> values) {
  for (const auto& [name, value] : values) {
    if (value >= 0 && value <= kMaxSeconds) continue;
    interp.ReportCompletion(view, code::kBadParameter, Format("%s %lld", name, static_cast<long long>(value)));
    return false;
  }
  return true;
}

void PowerStateS3S4(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  ArgReader in(v.vars, errors, args,
               {"PowerState", "PowerSleepSec", "PowerIntervalSec", "DelayRunSec", "LimitTimeSec", "LimitCycle",
                "StopByJobEnd"});
  const std::string stateText = in.Text("S3");
  const int64_t sleep = in.I64(60), interval = in.I64(30), delay = in.I64(5), limitTime = in.I64(0),
                cycles = in.I64(1);
  const bool stopByJobEnd = in.Bool(true);
  if (!in.ok()) return;
  const int state = StateOf(stateText, true);
  if (state == 0) return interp.ReportCompletion(view, code::kBadParameter, "(PowerState Error)");
  if (!SecondsInRange(interp, view, {{"PowerSleepSec", sleep}, {"PowerIntervalSec", interval}, {"DelayRunSec", delay},
                                     {"LimitTimeSec", limitTime}, {"LimitCycle", cycles}}))
    return;
  if (!PowerUsable(interp, view)) return;
  ViewCycle& vc = interp.State<SleepCycles>().views.at(view);
  {
    std::lock_guard<std::mutex> guard(vc.lock);
    vc.record = {state,
                 static_cast<uint32_t>(sleep),
                 static_cast<uint32_t>(interval),
                 static_cast<uint32_t>(delay),
                 static_cast<uint32_t>(limitTime),
                 static_cast<uint32_t>(cycles),
                 stopByJobEnd};
    ++vc.generation;
    if (vc.running.load()) return;  // the cycling under way takes the new record at its next cycle
  }
  if (vc.thread.joinable()) vc.thread.join();  // a cycling that has ended, or is just leaving
  vc.running.store(true);
  vc.thread = std::thread([&interp, &vc, view] {
    Cycle(interp, view, vc);
    std::lock_guard<std::mutex> guard(vc.lock);
    vc.running.store(false);
  });
}

void OneShotS3S4(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"PowerState", "PowerSleepSec"});
  const std::string stateText = in.Text("S3");
  const int64_t sleep = in.I64(60);
  if (!in.ok()) return;
  const int state = StateOf(stateText, false);
  if (state == 0) return interp.ReportCompletion(view, code::kBadParameter, "(PowerState Error)");
  if (!SecondsInRange(interp, view, {{"PowerSleepSec", sleep}}) || !PowerUsable(interp, view)) return;
  interp.writer().WriteLine(interp.output(view), Format("[PowerState] Sleep to S%d", state), kDetail, 10,
                            colour::kYellow);
  interp.host().SleepMs(1000);
  uint64_t sleptMs = 0;
  SleepOnce(interp, view, static_cast<SleepState>(state), static_cast<uint32_t>(sleep), sleptMs);
}

void IsS3S4Running(Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  interp.host().SleepMs(1000);
  const bool running = interp.State<SleepCycles>().views.at(view).running.load();
  interp.view(view).vars.SetNumber(name, running ? 1 : 0);
}

constexpr HandlerRow kHandlers[] = {
    {"PowerState_S3S4", kAnyDisk, PowerStateS3S4},
    {"OneShot_S3S4", kAnyDisk, OneShotS3S4},
    {"IsS3S4Running", kAnyDisk, IsS3S4Running},
};

}  // namespace

std::vector<HandlerRow> RegisterSleepCommands(Interpreter& interp) {
  interp.State<SleepCycles>();
  interp.AddRunEndHook([&interp](uint32_t view) { EndCycling(interp, view); });
  return interp.Register({kHandlers});
}

}  // namespace kestrune::app
