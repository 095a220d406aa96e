// Commands of the variable store: SetGlobalVar and GetGlobalVar (the machine-wide global
// variables) and ArrayLen.
#include <map>
#include <mutex>
#include <utility>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/global_vars.h"
#include "engine/interpreter.h"
#include "engine/literals.h"
#include "engine/view.h"

namespace kestrune::engine {

namespace code = base::code;
using base::Format;

namespace {


// This process's mapping of the global-variable block. It is made at the first use and kept until
// the process ends, so the values a run stores stay alive at least as long as that run; mapping it
// anew for every command would let the block vanish between two commands of a run whenever no other
// instance holds it. nullptr when the block cannot be mapped, reported with the reason (a block of
// another user is refused); the next use tries again.
GlobalVars* MappedGlobalVars(Interpreter& interp, uint32_t view) {
  static std::mutex mutex;
  static std::map<std::pair<const platform::Host*, std::string>, std::unique_ptr<GlobalVars>> mapped;
  const std::string name = GlobalVarBlockName();
  GlobalVars* globals = nullptr;
  std::string why;
  {
    std::lock_guard<std::mutex> guard(mutex);
    auto& slot = mapped[{&interp.host(), name}];
    if (!slot) slot = GlobalVars::Open(interp.host(), name, why);
    globals = slot.get();
  }
  if (!globals)
    interp.ReportCompletion(view, code::kHostMemoryAllocFailed,
                            "Cannot map the shared block " + name + ": " + why);
  return globals;
}

// A value as the global block keeps it: a number in decimal, a hexadecimal number with at least
// eight digits, a text as it is.
std::string GlobalText(const Value& v) {
  if (v.type == ValueType::kHex) return Format("0x%08llX", static_cast<unsigned long long>(v.number));
  return DisplayText(v);
}

void SetGlobalVar(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Var", "Value"});
  std::string var = in.Text("");
  std::optional<Value> value = in.Any();
  if (!in.ok()) return;
  std::string text = value ? GlobalText(*value) : std::string();
  if (GlobalVars* globals = MappedGlobalVars(interp, view)) globals->Set(interp.host(), errors, var, text);
}

void GetGlobalVar(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Var"});
  std::string var = in.Text("");
  if (!in.ok()) return;
  GlobalVars* globals = MappedGlobalVars(interp, view);
  if (!globals) return;
  std::optional<std::string> text = globals->Get(interp.host(), errors, var);
  if (!text) return;
  // "0x..." reads back as a hexadecimal number, a decimal literal as a number, anything else as text.
  Value result = ParseNumberLiteral(*text).value_or(Value::Text(*text));
  StoreValue(interp.view(view).vars, errors, name, std::move(result));
}

void ArrayLen(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"Array"});
  std::string array = in.Text("");
  if (!in.ok()) return;
  if (std::optional<int64_t> length = ArrayLength(vars, errors, array))
    StoreValue(vars, errors, name, Value::Number(*length));
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"SetGlobalVar", kAnyDisk, SetGlobalVar},
    {"GetGlobalVar", kAnyDisk, GetGlobalVar},
    {"ArrayLen", kAnyDisk, ArrayLen},
};

}  // namespace

std::vector<HandlerRow> RegisterVariableCommands(Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
