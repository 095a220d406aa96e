// The operator dialog commands: MessageBox, ComboBox, NumberBox, CheckListBox, InputBox and
// FileSelectBox. Each binds its parameters, refuses bad ones before anything shows, asks through the
// Ui's one Ask method and always stores an answer: Escape or closing stores the declining answer
// and stops the job, an unattended run stores the countdown's answer (AutoOK) or declining, and
// Style 31 shows nothing and stores 0 (text results "").
#include <cstdlib>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/error_sink.h"
#include "engine/interpreter.h"
#include "engine/operator_question.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::engine {

namespace code = base::code;
using base::EqualsNoCase;
using base::Format;
using Kind = Question::Kind;

namespace {

constexpr int kHeadlessStyle = 31;

// The two characters backslash and n become a line break.
std::string LineBreaks(std::string text) {
  for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at + 1))
    text.replace(at, 2, "\n");
  return text;
}

Question Base(Interpreter& interp, uint32_t view, Kind kind, std::string_view command) {
  Question q;
  q.kind = kind;
  q.command.assign(command);
  q.title = interp.settings().caption;
  q.cancel = &interp.view(view).cancel;
  return q;
}

void Store(Interpreter& interp, uint32_t view, std::string_view name, Value value) {
  ReportingSink errors(interp, view);
  StoreValue(interp.view(view).vars, errors, name, std::move(value));
}

// Asks, unless Style 31 asks nothing (nullopt). Escape or closing a question that says so stops the job.
std::optional<Answer> AskOperator(Interpreter& interp, uint32_t view, const Question& q) {
  if (interp.settings().style == kHeadlessStyle) return std::nullopt;
  Answer a = interp.ui().Ask(view, q);
  if (a.source == Answer::Source::kEscape && q.escapeCancelsJob) interp.RequestCancel(view);
  return a;
}

// An answer that could not be taken (answer file) is reported once its declining result is stored.
void ReportFailure(Interpreter& interp, uint32_t view, const Answer& a) {
  if (a.failure != 0) interp.ReportCompletion(view, a.failure, a.failureText);
}

// iResult = MessageBox(Output:"...", Button:"OKCANCEL", AutoOK:TRUE, ICON:"QUESTION" );
void MessageBox(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Output", "Button", "AutoOK", "ICON"});
  Question q = Base(interp, view, Kind::kMessage, "MessageBox");
  q.text = LineBreaks(in.Text(""));
  const std::string button = in.Text("OKCANCEL");
  q.autoOk = in.Bool(true);
  const std::string icon = in.Text("QUESTION");
  if (!in.ok()) return;
  q.buttons = EqualsNoCase(button, "OKCANCEL") ? Question::Buttons::kOkCancel
              : EqualsNoCase(button, "YESNO")  ? Question::Buttons::kYesNo
                                               : Question::Buttons::kOk;
  q.icon = EqualsNoCase(icon, "WARNING")       ? Question::Icon::kWarning
           : EqualsNoCase(icon, "ERROR")       ? Question::Icon::kError
           : EqualsNoCase(icon, "INFORMATION") ? Question::Icon::kInformation
                                               : Question::Icon::kQuestion;
  const std::optional<Answer> a = AskOperator(interp, view, q);
  Store(interp, view, name, Value::Number(a && a->confirmed ? 1 : 0));
  if (a) ReportFailure(interp, view, *a);
}

// Refuses bad parameters before anything shows; the result still gets the declining value, so that
// the statement's assignment never reads a stale or missing one.
void Refuse(Interpreter& interp, uint32_t view, std::string_view name, Value declined, int32_t failure,
            std::string_view why) {
  Store(interp, view, name, std::move(declined));
  interp.ReportCompletion(view, failure, why);
}

// Reads an ItemList; false (refused and reported) when it is bad.
bool ReadItems(Interpreter& interp, uint32_t view, std::string_view name, std::string_view list, Question& q,
               Value declined) {
  std::string why;
  if (const int32_t failure = ParseItemList(list, q.items, why); failure != 0) {
    Refuse(interp, view, name, std::move(declined), failure, why);
    return false;
  }
  return true;
}

// iValue = ComboBox(Output:"...", ItemList:"AAA|*BBB|CCC", Return:"Index", AutoOK:TRUE );
void ComboBox(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Output", "ItemList", "Return", "AutoOK"});
  Question q = Base(interp, view, Kind::kCombo, "ComboBox");
  q.text = LineBreaks(in.Text(""));
  const std::string list = in.Text("");
  const bool asText = EqualsNoCase(in.Text("Index"), "String");
  q.autoOk = in.Bool(true);
  if (!in.ok() || !ReadItems(interp, view, name, list, q, asText ? Value::Text("") : Value::Number(0))) return;
  const std::optional<Answer> a = AskOperator(interp, view, q);
  const bool chosen = a && a->confirmed && a->index >= 0;
  if (asText)
    Store(interp, view, name, Value::Text(chosen ? q.items[static_cast<size_t>(a->index)].text : std::string()));
  else
    Store(interp, view, name, Value::Number(chosen ? a->index : (a ? -1 : 0)));
  if (a) ReportFailure(interp, view, *a);
}

// iValue = NumberBox( Title:"Number:", Default:10, AutoOK:TRUE );
void NumberBox(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Title", "Default", "AutoOK"});
  Question q = Base(interp, view, Kind::kNumber, "NumberBox");
  q.text = LineBreaks(in.Text(""));
  const int64_t initial = in.I64(10);
  q.autoOk = in.Bool(true);
  if (!in.ok()) return;
  q.initial = std::to_string(initial);
  q.maxChars = kNumberBoxChars;
  if (q.initial.size() > kNumberBoxChars)
    return Refuse(interp, view, name, Value::Number(0), code::kBadParameter,
                  Format("Default over %zu characters", kNumberBoxChars));
  const std::optional<Answer> a = AskOperator(interp, view, q);
  int64_t value = 0;
  if (a && a->confirmed) value = std::strtoll(a->text.c_str(), nullptr, 10);
  Store(interp, view, name, Value::Number(value));
  if (a) ReportFailure(interp, view, *a);
}

// iSelectList[] = CheckListBox(Output:"...", ItemList:"*AAA|BBB|*CCC|DDD", AutoOK:TRUE );
void CheckListBox(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Output", "ItemList", "AutoOK"});
  Question q = Base(interp, view, Kind::kCheckList, "CheckListBox");
  q.text = LineBreaks(in.Text(""));
  const std::string list = in.Text("");
  q.autoOk = in.Bool(true);
  if (!in.ok() || !ReadItems(interp, view, name, list, q, Value::Text(""))) return;
  const std::optional<Answer> a = AskOperator(interp, view, q);
  Store(interp, view, name, Value::Text(a ? CheckListText(a->checks) : std::string()));
  if (a) ReportFailure(interp, view, *a);
}

// ReturnData = InputBox( Title:"Barcode:", SpecialKey:"", LenthLimit:0, ShowResult:FALSE, Default:"" );
void InputBox(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Title", "SpecialKey", "LenthLimit", "ShowResult", "Default"});
  Question q = Base(interp, view, Kind::kInput, "InputBox");
  q.text = LineBreaks(in.Text(""));
  q.specialKey = in.Text("");
  const int64_t limit = in.I64(0);
  const bool show = in.Bool(false);
  q.initial = in.Text("");
  if (!in.ok()) return;
  std::string why;
  if (const int32_t failure = CheckInputRules(q.specialKey, limit, why); failure != 0)
    return Refuse(interp, view, name, Value::Text(""), failure, why);
  q.lengthLimit = static_cast<int32_t>(limit);
  const std::optional<Answer> a = AskOperator(interp, view, q);
  const bool accepted = a && a->confirmed;
  Store(interp, view, name, Value::Text(accepted ? a->text : std::string()));
  if (accepted && show) interp.writer().WriteLine(interp.output(view), a->text, kDetail, 10, colour::kYellow);
  if (a) ReportFailure(interp, view, *a);
}

// FilePath = FileSelectBox( Ext:"*.*#All FW");
void FileSelectBox(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Ext"});
  Question q = Base(interp, view, Kind::kFile, "FileSelectBox");
  const std::string ext = in.Text("*.*#All FW");
  if (!in.ok()) return;
  q.filters = ParseFileFilters(ext);
  const std::optional<Answer> a = AskOperator(interp, view, q);
  const bool chosen = a && a->confirmed && !a->text.empty();
  if (chosen && !platform::FileExists(a->text)) {
    Store(interp, view, name, Value::Text(""));
    return interp.ReportCompletion(view, code::kFileOpenFailed, "No Found File: " + a->text);
  }
  Store(interp, view, name, Value::Text(chosen ? a->text : std::string()));
  if (a) ReportFailure(interp, view, *a);
}

constexpr HandlerRow kHandlers[] = {
    {"MessageBox", kAnyDisk, MessageBox},     {"ComboBox", kAnyDisk, ComboBox},
    {"NumberBox", kAnyDisk, NumberBox},       {"CheckListBox", kAnyDisk, CheckListBox},
    {"InputBox", kAnyDisk, InputBox},         {"FileSelectBox", kAnyDisk, FileSelectBox},
};

}  // namespace

std::vector<HandlerRow> RegisterDialogCommands(Interpreter& interp) { return interp.Register({kHandlers}); }

}  // namespace kestrune::engine
