// Time commands: DateTime, RunTime and Delay. All time comes from the host, so tests run on a
// fake clock.
#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/elapsed_time.h"
#include "engine/error_sink.h"
#include "engine/expression.h"
#include "engine/interpreter.h"
#include "engine/literals.h"
#include "engine/view.h"

namespace kestrune::engine {

namespace code = base::code;
using base::EqualsNoCase;
using base::Format;

namespace {

void DateTime(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"OutFormat"});
  std::string format = in.Text("YYYYMMDD");
  if (!in.ok()) return;
  const platform::LocalTime t = interp.host().Now();
  std::string text;
  if (EqualsNoCase(format, "YYYY-MM-DD"))
    text = Format("%4d-%02d-%02d", t.year, t.month, t.day);
  else if (EqualsNoCase(format, "YYYYMMDD"))
    text = Format("%4d%02d%02d", t.year, t.month, t.day);
  else if (EqualsNoCase(format, "hh:mm:ss"))
    text = Format("%02d:%02d:%02d", t.hour, t.minute, t.second);
  else if (EqualsNoCase(format, "hhmmss"))
    text = Format("%02d%02d%02d", t.hour, t.minute, t.second);
  else if (EqualsNoCase(format, "YYYY-MM-DD hh:mm:ss"))
    text = Format("%4d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  else if (EqualsNoCase(format, "YYYYMMDD-hhmmss"))
    text = Format("%4d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  else {
    interp.ReportCompletion(view, code::kBadParameter, "OutFormat Error: " + format);
    return;
  }
  StoreValue(interp.view(view).vars, errors, name, Value::Text(text));
}

void RunTime(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {"ShowResult", "TimeFormat"});
  bool show = in.Bool(false);
  std::string unit = in.Text("ms");
  if (!in.ok()) return;
  const uint64_t now = interp.host().MonotonicMs();
  const uint64_t elapsed = now > v.runStartMs ? now - v.runStartMs : 0;
  // The unit names are matched exactly, as scripts have always written them.
  uint64_t value = elapsed;
  if (unit == "sec")
    value = elapsed / 1000;
  else if (unit == "min")
    value = elapsed / 60000;
  else if (unit == "hr")
    value = elapsed / 3600000;
  if (show)
    interp.writer().WriteLine(interp.output(view),
                              Format("Script RunTime : %llu (%s)", static_cast<unsigned long long>(value),
                                     ElapsedTimeText(elapsed).c_str()),
                              kDetail, 10, colour::kGrey);
  StoreValue(v.vars, errors, name, Value::Number(static_cast<int64_t>(value)));
}

// Milliseconds a Delay pair asks for: the name gives the unit ("sec", "min", anything else
// milliseconds) and the value the count. 64-bit, so a long wait in minutes cannot wrap round.
std::optional<uint64_t> DelayMs(const VarList& vars, ErrorSink& errors, const Pair& pair) {
  std::optional<uint32_t> count = ToUnsigned32(ReadValue(vars, errors, pair.value));
  if (!count) return std::nullopt;
  uint64_t unit = 1;
  if (EqualsNoCase(pair.name, "sec"))
    unit = 1000;
  else if (EqualsNoCase(pair.name, "min"))
    unit = 60000;
  return uint64_t{*count} * unit;
}

// Waits of two whole seconds or more are counted down second by second on one grey line that is
// rewritten in place; the view's cancel flag ends the countdown early. Shorter waits just sleep.
void Delay(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {});  // the unit is the pair's name, so bind by position
  std::optional<Pair> pair = in.Raw();
  if (!pair || pair->value.empty()) return;
  std::optional<uint64_t> ms = DelayMs(v.vars, errors, *pair);
  if (!ms) return;
  platform::Host& host = interp.host();
  const uint64_t seconds = *ms / 1000;
  if (seconds < 2) {
    host.SleepMs(static_cast<uint32_t>(*ms));
    return;
  }
  OutputWriter& writer = interp.writer();
  ViewOutput* out = interp.output(view);
  LineRef line = writer.WriteLine(out, " ", kDetail, 10, colour::kGrey);
  auto show = [&](const std::string& text) {
    if (!writer.RewriteLine(out, line, text)) line = writer.WriteLine(out, text, kDetail, 10, colour::kGrey);
  };
  for (uint64_t left = seconds; left > 0 && !v.cancel.load(); --left) {
    show(Format("Delay remain %llu sec...", static_cast<unsigned long long>(left)));
    host.SleepMs(1000);
  }
  show(Format("Delay %llu sec   ", static_cast<unsigned long long>(seconds)));
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"DateTime", kAnyDisk, DateTime},
    {"RunTime", kAnyDisk, RunTime},
    {"Delay", kAnyDisk, Delay},
};

}  // namespace

std::vector<HandlerRow> RegisterTimeCommands(Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
