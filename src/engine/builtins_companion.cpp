// LogView_Send and LogView_Wait: commands and key words for the companion log viewer through the
// channel block (engine/companion_channel.h) and its signal (platform/companion_signal.h).
//
// A delayed LogView_Send counts down on a thread of its own; the end of the run waits for it (it
// gives up at once when the run is cancelled), so that it never writes into a run that is over.
#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "base/unicode.h"
#include "engine/arguments.h"
#include "engine/companion_channel.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/companion_signal.h"
#include "platform/object_names.h"

namespace kestrune::engine {

namespace code = base::code;
using base::Format;

size_t Utf16Units(std::string_view text) { return base::Utf16Le(text).size() / 2; }

bool PutCompanionSlot(std::span<uint8_t> block, CompanionSlot slot, std::string_view text) {
  const std::string units = base::Utf16Le(text);
  if (units.size() / 2 >= slot.chars || (slot.firstChar + slot.chars) * 2 > block.size()) return false;
  uint8_t* start = block.data() + slot.firstChar * 2;
  std::fill(start, start + slot.chars * 2, uint8_t{0});
  std::copy(units.begin(), units.end(), start);
  return true;
}

std::string GetCompanionSlot(std::span<const uint8_t> block, CompanionSlot slot) {
  if ((slot.firstChar + slot.chars) * 2 > block.size()) return {};
  const uint8_t* start = block.data() + slot.firstChar * 2;
  size_t used = 0;
  while (used < slot.chars * 2 && base::GetLe16(start + used) != 0) used += 2;
  return base::FromUtf16Le(std::string_view(reinterpret_cast<const char*>(start), used));
}

namespace {

constexpr uint32_t kSliceMs = 250;
constexpr uint32_t kLockPollMs = 10;
constexpr uint32_t kSendLockWaitMs = 5000;
constexpr uint32_t kDefaultDelaySec = 15;
constexpr uint32_t kDefaultTimeoutSec = 15;

// The delayed sends of each view, joined when its run ends.
struct CompanionSends {
  std::mutex mutex;
  std::array<std::vector<std::thread>, Interpreter::kViews> pending;
  // Sends of a handler called outside a run (no run end joins them) are waited for here, while
  // the interpreter and its views still exist.
  ~CompanionSends() {
    for (auto& threads : pending)
      for (std::thread& t : threads)
        if (t.joinable()) t.join();
  }
};

// Takes the named lock, trying every kLockPollMs until it comes, the view is cancelled or (limitMs
// not 0) limitMs have passed since start. nullptr with why empty when it did not come in time or
// the run was cancelled, with why set when it is refused.
std::unique_ptr<platform::NamedLock> TakeInSlices(Interpreter& interp, const View& v, const char* name,
                                                  uint64_t start, uint64_t limitMs, std::string& why) {
  platform::Host& host = interp.host();
  for (;;) {
    why.clear();
    auto lock = host.AcquireNamedLock(platform::SharedObjectName(name), 0, why);
    if (lock || !why.empty() || v.cancel.load()) return lock;
    if (limitMs != 0 && host.MonotonicMs() - start >= limitMs) return nullptr;
    host.SleepMs(kLockPollMs);
  }
}

// Takes the lock among our instances through the gate (engine/companion_channel.h), within limitMs
// (0: no limit) all told; nullptr and why as TakeInSlices.
std::unique_ptr<platform::NamedLock> TakeChannelLock(Interpreter& interp, const View& v, uint64_t limitMs,
                                                     std::string& why) {
  const uint64_t start = interp.host().MonotonicMs();
  auto gate = TakeInSlices(interp, v, kCompanionGateName, start, limitMs, why);
  if (!gate) return nullptr;
  return TakeInSlices(interp, v, kCompanionLockName, start, limitMs, why);
}

// Puts command into the command slot and signals the companion. False with why when that failed.
bool Send(Interpreter& interp, uint32_t view, const std::string& command, std::string& why) {
  View& v = interp.view(view);
  auto lock = TakeChannelLock(interp, v, kSendLockWaitMs, why);
  if (!lock) {
    if (why.empty() && !v.cancel.load())
      why = std::string("the lock ") + kCompanionLockName + " stayed taken";
    return false;
  }
  auto block = interp.host().OpenSharedBlock(platform::SharedObjectName(kCompanionBlockName),
                                             kCompanionBlockBytes, why);
  if (!block) return false;
  PutCompanionSlot(block->Bytes(), kCommandSlot, command);
  if (!platform::SignalCompanion(interp.host(), why)) return false;
  interp.writer().WriteLine(interp.output(view), "LogView_Send : " + command, kDetail, 10, colour::kWhite);
  return true;
}

std::string TooLong(std::string_view command, std::string_view what, size_t units) {
  return Format("%s: the %s has %zu characters, more than %zu", std::string(command).c_str(),
                std::string(what).c_str(), units, kCommandSlot.chars - 1);
}

// LogView_Send( Command:"", DelayRunSec:15 )
void LogViewSend(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {"Command", "DelayRunSec"});
  std::string command = in.Text("");
  const uint32_t delaySec = in.U32(kDefaultDelaySec);
  if (!in.ok()) return;
  if (const size_t units = Utf16Units(command); units >= kCommandSlot.chars)
    return interp.ReportCompletion(view, code::kBadParameter, TooLong("LogView_Send", "command", units));
  std::string why;
  if (delaySec == 0) {
    if (!Send(interp, view, command, why) && !why.empty())
      interp.ReportCompletion(view, code::kError, "LogView_Send: " + why);
    return;
  }
  CompanionSends& sends = interp.State<CompanionSends>();
  {
    std::lock_guard<std::mutex> guard(sends.mutex);
    sends.pending.at(view).emplace_back([&interp, view, command, delaySec] {
      View& mine = interp.view(view);
      OutputWriter& writer = interp.writer();
      ViewOutput* out = interp.output(view);
      const std::string first = Format("Wait %u Sec for LogView_Send...", delaySec);
      LineRef line = writer.WriteLine(out, first, kDetail, 10, colour::kGrey);
      for (uint32_t left = delaySec; left > 0; --left) {
        const std::string text = Format("Wait %u Sec for LogView_Send...", left);
        if (!writer.RewriteLine(out, line, text))
          line = writer.WriteLine(out, text, kDetail, 10, colour::kGrey);
        for (uint32_t ms = 0; ms < 1000; ms += kSliceMs) {
          if (mine.cancel.load()) return;
          interp.host().SleepMs(kSliceMs);
        }
      }
      if (mine.cancel.load()) return;
      std::string failure;
      if (!Send(interp, view, command, failure) && !failure.empty())
        writer.WriteLine(out, "LogView_Send : " + failure, kDetail, 10, colour::kRed);
    });
  }
  interp.host().SleepMs(200);
}

// LogView_Wait( Command:"", TimeoutSec:15 )
void LogViewWait(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {"Command", "TimeoutSec"});
  std::string keyword = in.Text("");
  const uint32_t timeoutSec = in.U32(kDefaultTimeoutSec);
  if (!in.ok() || keyword.empty()) return;
  if (const size_t units = Utf16Units(keyword); units >= kKeywordSlot.chars)
    return interp.ReportCompletion(view, code::kBadParameter, TooLong("LogView_Wait", "key word", units));
  platform::Host& host = interp.host();
  OutputWriter& writer = interp.writer();
  ViewOutput* out = interp.output(view);
  auto cancelled = [&] { writer.WriteLine(out, "---- Cancel Command ----", kDetail, 10, colour::kCyan); };

  std::string why;
  // The exchange holds the lock from the key word to the reply: another instance's key word must
  // not replace ours, nor its cleared reply slot ours.
  auto lock = TakeChannelLock(interp, v, uint64_t{timeoutSec} * 1000u, why);
  if (!lock) {
    if (!why.empty()) return interp.ReportCompletion(view, code::kError, "LogView_Wait: " + why);
    if (v.cancel.load()) return cancelled();
    why = std::string("the lock ") + kCompanionLockName + " stayed taken";
    return interp.ReportCompletion(view, code::kError, "LogView_Wait: " + why);
  }
  auto block =
      host.OpenSharedBlock(platform::SharedObjectName(kCompanionBlockName), kCompanionBlockBytes, why);
  if (!block) return interp.ReportCompletion(view, code::kError, "LogView_Wait: " + why);
  PutCompanionSlot(block->Bytes(), kReplySlot, "");
  PutCompanionSlot(block->Bytes(), kKeywordSlot, keyword);
  if (!platform::SignalCompanion(host, why))
    return interp.ReportCompletion(view, code::kError, "LogView_Wait: " + why);

  const std::string base = timeoutSec == 0
                               ? Format("Wait [%s] From LogView", keyword.c_str())
                               : Format("Wait [%s] From LogView %u sec...", keyword.c_str(), timeoutSec);
  LineRef line = writer.WriteLine(out, base, kDetail, 10, colour::kGrey);
  auto show = [&](const std::string& text) {
    if (!writer.RewriteLine(out, line, text)) line = writer.WriteLine(out, text, kDetail, 10, colour::kGrey);
  };
  const uint64_t start = host.MonotonicMs();
  uint64_t shownSecond = 0;
  bool answered = false;
  bool timedOut = false;
  for (;;) {
    if (GetCompanionSlot(block->Bytes(), kKeywordSlot).empty()) {
      answered = true;
      break;
    }
    if (v.cancel.load()) return cancelled();
    const uint64_t second = (host.MonotonicMs() - start) / 1000u;
    if (timeoutSec != 0 && second >= timeoutSec) {
      timedOut = true;
      break;
    }
    if (second != shownSecond) {
      shownSecond = second;
      if (timeoutSec != 0)
        show(Format("Wait [%s] From LogView %u sec...", keyword.c_str(),
                    static_cast<unsigned>(timeoutSec - second)));
      else
        show(base + std::string(static_cast<size_t>(second % 10), '.'));
    }
    host.SleepMs(kSliceMs);
  }
  if (timedOut) {
    // Take the key word back, so that a late companion does not answer a question nobody asks.
    PutCompanionSlot(block->Bytes(), kKeywordSlot, "");
    writer.WriteLine(out, Format("Wait [%s] From LogView %u sec Timeout", keyword.c_str(), timeoutSec),
                     kDetail, 10, colour::kRed);
    writer.WriteLine(out, "Result : ", kDetail, 10, colour::kYellow);
    return;
  }
  (void)answered;
  writer.WriteLine(out, "Result : " + GetCompanionSlot(block->Bytes(), kReplySlot), kDetail, 10,
                   colour::kYellow);
}

void JoinDelayedSends(Interpreter& interp, uint32_t view) {
  CompanionSends& sends = interp.State<CompanionSends>();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> guard(sends.mutex);
    threads.swap(sends.pending.at(view));
  }
  for (std::thread& t : threads) t.join();
}

constexpr HandlerRow kHandlers[] = {
    {"LogView_Send", kAnyDisk, LogViewSend},
    {"LogView_Wait", kAnyDisk, LogViewWait},
};

}  // namespace

std::vector<HandlerRow> RegisterCompanionCommands(Interpreter& interp) {
  interp.State<CompanionSends>();
  interp.AddRunEndHook([&interp](uint32_t view) { JoinDelayedSends(interp, view); });
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
