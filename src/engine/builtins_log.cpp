// Commands of the result log and error policy: Print, Exit, the error-skip commands, the header
// switch, Help and Break.
#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/help.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/host.h"

namespace kestrune::engine {
namespace {

namespace code = base::code;

void Print(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"LeftAlign", "Output"});
  bool leftAlign = in.Bool(false);
  std::string output = in.Text("");
  if (!in.ok()) return;
  interp.writer().WriteLine(interp.output(view), output, leftAlign ? kPlain : kDetail, 10, colour::kYellow);
}

void Exit(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"ErrCode", "ErrDesc"});
  int64_t code = in.I64(0);
  std::string desc = in.Text("");
  if (!in.ok()) return;
  if (code >= 0x10000) {
    interp.ReportCompletion(view, code::kBadParameter, "ExitCode must < 0xFFFF");
    return;
  }
  interp.RunExitHooks(view);
  interp.ReportCompletion(view, static_cast<int32_t>(code), desc);
}

void SetErrorSkip(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"SkipCount"});
  int64_t skip = in.I64(1);
  if (!in.ok()) return;
  vars.SetNumber("_ErrorSkip", skip);
  vars.SetNumber("_ErrorCount", 0);
}

void GetErrorCount(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"ShowResult"});
  bool show = in.Bool(true);
  int64_t count = vars.Get("_ErrorCount").number;
  vars.SetNumber(name, count);
  if (show)
    interp.writer().WriteFormatted(interp.output(view), kDetail, 10, colour::kYellow, "ErrorCount: %lld",
                                   static_cast<long long>(count));
}

void SetErrorDesc(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"Output"});
  std::string desc = in.Text("Error Stop");
  if (!in.ok()) return;
  vars.SetText("_ErrorDesc", desc);
}

void ShowCLICmdHeader(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Show"});
  bool show = in.Bool(true);
  std::lock_guard<std::mutex> guard(interp.output(view)->lock);
  interp.output(view)->hideHeaders = !show;
}

void Help(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"ShowAll"});
  bool showAll = in.Bool(false);
  PrintHelp(interp.writer(), interp.output(view), showAll, interp.Folders(view),
            platform::FileNameOf(interp.settings().programPath));
}

// Leaves the innermost running loop: the statements up to its "}" are skipped.
void Break(Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  View& v = interp.view(view);
  if (v.loopLevel > 0) v.breakLevel = v.loopLevel - 1;
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"Print", kAnyDisk, Print},
    {"Exit", kAnyDisk, Exit},
    {"SetErrorSkip", kAnyDisk, SetErrorSkip},
    {"GetErrorCount", kAnyDisk, GetErrorCount},
    {"SetErrorDesc", kAnyDisk, SetErrorDesc},
    {"ShowCLICmdHeader", kAnyDisk, ShowCLICmdHeader},
    {"Help", kAnyDisk, Help},
    {"Break", kAnyDisk, Break},
};

}  // namespace

std::vector<HandlerRow> RegisterLogCommands(Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
