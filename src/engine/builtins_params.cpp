// Commands that read the run's parameters and INI files and tell the script about the program:
// InitParam_Data, InitParam_List, GetINIData, SetINIData, ScpxFolder, APFileName, GetViewID, IsWinOS.
#include "base/completion_codes.h"
#include "base/ini.h"
#include "base/text.h"
#include "base/unicode.h"
#include "engine/arguments.h"
#include "engine/covert_type.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/keyword_lookup.h"
#include "engine/view.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::engine {

namespace code = base::code;
using base::CutChars;
using base::FromUtf16Le;
using base::IniFile;
using base::IniWrite;
using base::Trim;
using base::WriteIniValue;

namespace {

constexpr uint32_t kListLineColour = 0x323232;
constexpr size_t kIniValueChars = 259;

// "_InitParam.txt" of the view's base log folder as text; "" when the run wrote none.
std::string InitParamText(Interpreter& interp, uint32_t view) {
  auto bytes = platform::ReadWholeFile(platform::JoinPath(interp.view(view).baseLogFolder, "_InitParam.txt"));
  if (!bytes) return {};
  return FromUtf16Le(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

void InitParamData(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"KeyWord", "ShowResult", "CovertType", "Default"});
  std::string keyword = in.Text("Init_Param0");
  bool show = in.Bool(true);
  std::string covertType = in.Text("AUTO");
  std::string fallback = in.Text("");
  if (!in.ok()) return;

  for (char& c : keyword)
    if (c == '"') c = ' ';
  std::optional<KeywordHit> hit =
      SearchResultText(InitParamText(interp, view), SplitAlternatives(Trim(keyword)));
  Value value = ConvertByType(hit ? hit->value : fallback, covertType);
  StoreValue(vars, errors, name, value);
  if (show) interp.writer().WriteLine(interp.output(view), DisplayText(value), kDetail, 10, colour::kYellow);
}

void InitParamList(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"ShowResult"});
  bool show = in.Bool(true);
  if (!in.ok()) return;

  std::string list;
  std::string all = InitParamText(interp, view);
  for (std::string_view rest = all; !rest.empty();) {
    size_t lf = rest.find('\n');
    std::string line(Trim(rest.substr(0, lf), true));
    rest = lf == std::string_view::npos ? std::string_view{} : rest.substr(lf + 1);
    if (line.empty()) continue;
    line = std::string(CutChars(line, kLineChars));
    // A double quote inside an item would end it early when the list is split into an array.
    std::erase(line, '"');
    std::string item = (list.empty() ? "\"" : ",\"") + line + "\"";
    // Only whole items: a list cut inside an item would not split.
    if (ClampChars(list + item, kMaxTextChars).size() != list.size() + item.size()) break;
    list += item;
    if (show) interp.writer().WriteLine(interp.output(view), line, kDetail, 10, kListLineColour);
  }
  StoreValue(vars, errors, name, Value::Text(list));
}

void GetIniData(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"Section", "Item", "CovertType", "Default", "File"});
  std::string section = in.Text("LogData");
  std::string item = in.Text("ItemName");
  std::string covertType = in.Text("AUTO");
  std::string fallback = in.Text("ERR");
  std::string file = in.Text("");
  if (!in.ok()) return;

  // The default stands also when the file cannot be read or the run is cancelled, so that the
  // statement's assignment still finds a value.
  StoreValue(vars, errors, name, ConvertByType(ClampChars(fallback, kIniValueChars), covertType));
  if (!ChooseFileIfEmpty(interp, view, file, FileChoice::Open("ini File", "ini"))) return;
  std::optional<std::string> path = LookupFile(file, interp.Folders(view));
  std::optional<IniFile> ini = path ? IniFile::Load(*path) : std::nullopt;
  if (!ini) return interp.ReportCompletion(view, code::kFileOpenFailed, file);
  std::string text = ini->GetString(Trim(section), Trim(item), fallback);
  StoreValue(vars, errors, name, ConvertByType(ClampChars(text, kIniValueChars), covertType));
}

void SetIniData(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Section", "Item", "Output", "File", "Flush"});
  std::string section = in.Text("LogData");
  std::string item = in.Text("ItemName");
  std::string output = in.Text("Data");
  std::string file = in.Text("");
  bool flush = in.Bool(false);
  if (!in.ok()) return;

  if (!ChooseFileIfEmpty(interp, view, file, FileChoice::Save("INI File", "ini"))) return;
  // An existing file is written where GetINIData reads it; a new one goes to the log folder.
  std::string path = LookupFile(file, interp.Folders(view)).value_or(OutputFilePath(interp, view, file));
  auto lock = LockDataFiles(interp);
  switch (WriteIniValue(path, section, item, output, flush)) {
    case IniWrite::kOk:
      break;
    case IniWrite::kBadEntry:
      interp.ReportCompletion(view, code::kBadParameter, "[" + section + "] " + item + " cannot be stored");
      break;
    case IniWrite::kFileFailed:
      interp.ReportCompletion(view, code::kOutputFileFailed, path);
      break;
  }
}

// Stores text under the command's name and, with show, writes it as a yellow detail line.
void AnswerText(Interpreter& interp, uint32_t view, std::string_view name, const std::string& text,
                bool show) {
  ReportingSink errors(interp, view);
  StoreValue(interp.view(view).vars, errors, name, Value::Text(text));
  if (show) interp.writer().WriteLine(interp.output(view), text, kDetail, 10, colour::kYellow);
}

void ScpxFolder(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"ShowResult"});
  bool show = in.Bool(true);
  AnswerText(interp, view, name, interp.settings().programFolder, show);
}

void APFileName(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"ShowResult"});
  bool show = in.Bool(true);
  std::string base = platform::FileNameOf(interp.settings().programPath);
  size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
  AnswerText(interp, view, name, base, show);
}

void GetViewID(Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  ReportingSink errors(interp, view);
  StoreValue(interp.view(view).vars, errors, name, Value::Number(view));
}

void IsWinOS(Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  ReportingSink errors(interp, view);
#ifdef _WIN32
  constexpr int64_t kWindows = 1;
#else
  constexpr int64_t kWindows = 0;
#endif
  StoreValue(interp.view(view).vars, errors, name, Value::Number(kWindows));
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"InitParam_Data", kAnyDisk, InitParamData},
    {"InitParam_List", kAnyDisk, InitParamList},
    {"GetINIData", kAnyDisk, GetIniData},
    {"SetINIData", kAnyDisk, SetIniData},
    {"ScpxFolder", kAnyDisk, ScpxFolder},
    {"APFileName", kAnyDisk, APFileName},
    {"GetViewID", kAnyDisk, GetViewID},
    {"IsWinOS", kAnyDisk, IsWinOS},
};

}  // namespace

std::vector<HandlerRow> RegisterParamCommands(Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
