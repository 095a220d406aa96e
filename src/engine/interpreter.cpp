#include "engine/interpreter.h"

#include <algorithm>
#include <utility>

#include "base/completion_codes.h"
#include "base/ini.h"
#include "base/text.h"
#include "base/unicode.h"
#include "engine/elapsed_time.h"
#include "engine/error_table.h"
#include "engine/executor.h"
#include "engine/html_log.h"
#include "engine/external_commands.h"
#include "engine/log_upload.h"
#include "engine/run_save.h"
#include "engine/script_text.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::engine {

namespace code = base::code;
using base::CutChars;
using base::EqualsNoCase;
using base::Format;
using base::Trim;
using base::Utf16Le;

namespace {

OutputSettings MakeOutputSettings(const RunSettings& s, ConsoleSink* console) {
  OutputSettings o;
  o.consoleForm = s.style == 30 || s.style == 31 || s.style == 40;
  o.style = s.style;
  o.debugLevel = s.debugLevel;
  o.console = console;
  return o;
}

// Writes text as UTF-16LE without a byte-order mark.
bool WriteUtf16File(const std::string& path, std::string_view text) {
  std::string bytes = Utf16Le(text);
  return platform::WriteWholeFile(path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace

Interpreter::Interpreter(platform::Host& host, RunSettings settings, ConsoleSink* console)
    : host_(host),
      settings_(std::move(settings)),
      writer_(MakeOutputSettings(settings_, console), host_),
      handlers_(CommandTable().size(), nullptr) {
  for (uint32_t i = 0; i < kViews; ++i) {
    auto v = std::make_unique<View>();
    v->index = i;
    v->output.index = i;
    v->scriptFolder = v->logFolder = v->baseLogFolder = settings_.workFolder;
    v->output.baseLogFolder = settings_.workFolder;
    views_.push_back(std::move(v));
  }
  if (settings_.htmlLogEnabled) {
    htmlLog_ = std::make_shared<HtmlLogSink>();
    writer_.AddSink(htmlLog_);
  }
  for (auto group : {RegisterLogCommands, RegisterParamCommands, RegisterFileCommands, RegisterTextCommands,
                     RegisterTimeCommands, RegisterOutputCommands, RegisterFnScriptCommands, RegisterSystemCommands,
                     RegisterVariableCommands, RegisterExternalCommands, RegisterResultCommands,
                     RegisterDialogCommands}) {
    const std::vector<HandlerRow> unmatched = group(*this);
    unmatchedBuiltins_.insert(unmatchedBuiltins_.end(), unmatched.begin(), unmatched.end());
  }
}

Interpreter::~Interpreter() {
  // Background writers (programs started without waiting, child scripts) end first, so that none
  // writes into a view or a result file that is already gone.
  externalCommands_.reset();
  {
    std::lock_guard<std::mutex> guard(statesLock_);
    states_.clear();
  }
  for (auto& v : views_) OutputWriter::CloseResultFile(&v->output);
}

View& Interpreter::view(uint32_t index) { return *views_.at(index); }

ViewOutput* Interpreter::output(uint32_t index) { return index < views_.size() ? &views_[index]->output : nullptr; }

int32_t Interpreter::LastCompletionCode(uint32_t index) { return view(index).lastCode; }

void Interpreter::RequestCancel(uint32_t index) {
  View& v = view(index);
  v.cancelRequested.store(true);
  v.cancel.store(true);
}

std::atomic<bool>& Interpreter::CancelFlag(uint32_t index) { return view(index).cancel; }

std::atomic<bool>& Interpreter::CancelRequestedFlag(uint32_t index) { return view(index).cancelRequested; }

void Interpreter::SetLogDataPath(uint32_t index, std::string path) {
  View& v = view(index);
  (v.running.load() ? v.logDataPath : v.nextLogDataPath) = std::move(path);
}

LookupFolders Interpreter::Folders(uint32_t index) {
  View& v = view(index);
  return LookupFolders{v.scriptFolder, v.logFolder, settings_.programFolder};
}

std::vector<HandlerRow> Interpreter::Register(std::initializer_list<std::span<const HandlerRow>> tables) {
  const auto table = CommandTable();
  auto rowOf = [&table](std::string_view name, uint8_t flag) {
    for (size_t i = 0; i < table.size(); ++i)
      if (table[i].deviceFlag == flag && EqualsNoCase(table[i].name, name)) return i;
    return table.size();
  };
  std::vector<HandlerRow> unmatched;
  for (std::span<const HandlerRow> rows : tables) {
    for (const HandlerRow& row : rows) {
      const size_t at = rowOf(row.name, row.deviceFlag);
      if (at == table.size() || !table[at].sameHandlerAs.empty()) {
        unmatched.push_back(row);
        continue;
      }
      handlers_[at] = row.handler;
      for (size_t i = 0; i < table.size(); ++i)
        if (table[i].deviceFlag == row.deviceFlag && EqualsNoCase(table[i].sameHandlerAs, table[at].name))
          handlers_[i] = row.handler;
    }
  }
  return unmatched;
}

CommandHandler Interpreter::HandlerFor(std::string_view name, CommandCategory category, int diskType) const {
  int row = FindCommand(name, category, diskType);
  return row < 0 ? nullptr : handlers_[static_cast<size_t>(row)];
}

void Interpreter::CallDeviceCommand(uint32_t index, CommandHandler handler, std::string_view args,
                                    std::string_view name) {
  ViewOutput* out = output(index);
  writer_.WriteLine(out, Format("%.*s(%.*s);", static_cast<int>(name.size()), name.data(),
                                static_cast<int>(args.size()), args.data()),
                    kHeader, 10, colour::kGreen);
  uint64_t start = host_.MonotonicMs();
  handler(*this, index, args, name);
  uint64_t elapsed = host_.MonotonicMs() - start;
  if (writer_.settings().consoleForm) {
    writer_.WriteLine(out, "", kClosingDetail, 10, colour::kWhite);
  } else {
    writer_.WriteLine(out, Format("Elapsed Time(ms): %llu", static_cast<unsigned long long>(elapsed)), kDetail,
                      10, colour::kWhite);
    writer_.WriteLine(out, "Elapsed Time    : " + ElapsedTimeText(elapsed), kClosingDetail, 10, colour::kWhite);
  }
}

bool Interpreter::RunExternalCommand(uint32_t index, std::string_view name, std::string_view args) {
  return externalCommands_ && externalCommands_->Run(*this, index, name, args);
}

void Interpreter::ReportCompletion(uint32_t index, int32_t code, std::string_view detail) {
  View& v = view(index);
  ViewOutput* out = &v.output;
  if (code < 0) {
    if (auto text = ErrorText(code)) {
      v.lastCode = code;
      v.lastDescription = std::string(CutChars(
          Format("%.*s. %.*s", static_cast<int>(text->size()), text->data(), static_cast<int>(detail.size()),
                 detail.data()),
          1023));
      writer_.WriteFormatted(out, kDetail, 10, colour::kRed, "[Error Code]:  0x%06X", static_cast<uint32_t>(code));
      writer_.WriteLine(out, "[Error Desc]:  " + v.lastDescription, kDetail, 10, colour::kRed);
    }
    int64_t count = v.vars.Get("_ErrorCount").number;
    int64_t skip = v.vars.Get("_ErrorSkip").number;
    v.vars.SetNumber("_ErrorCount", count + 1);
    if (skip >= count + 1) {
      writer_.WriteFormatted(out, kDetail, 10, colour::kCyan, "-- Error Count: %lld --",
                             static_cast<long long>(count + 1));
      return;
    }
    Value desc = v.vars.Get("_ErrorDesc");
    if (desc.IsText() && !desc.text.empty()) {
      v.lastDescription = desc.text;
      writer_.WriteLine(out, desc.text, kPlain, 14, colour::kYellow);
    }
    v.vars.SetNumber("_ErrorCheck", 3);
    return;
  }
  v.lastCode = code;
  v.lastDescription = std::string(CutChars(detail, 1023));
  if (!detail.empty()) writer_.WriteLine(out, detail, kPlain, 14, colour::kYellow);
  v.vars.SetNumber("_ErrorCheck", 4);
}

void Interpreter::PostCompletion(uint32_t index, int32_t code, std::string detail) {
  View& v = view(index);
  std::lock_guard<std::mutex> guard(v.postedLock);
  v.posted.emplace_back(code, std::move(detail));
}

bool Interpreter::ReportPosted(View& v) {
  std::vector<std::pair<int32_t, std::string>> posted;
  {
    std::lock_guard<std::mutex> guard(v.postedLock);
    posted.swap(v.posted);
  }
  for (const auto& [code, detail] : posted) ReportCompletion(v.index, code, detail);
  return !posted.empty();
}

void Interpreter::InitialiseRun(View& v) {
  v.vars.Clear();
  v.mainList.clear();
  v.subList.clear();
  v.loopList.clear();
  v.loopLevel = 0;
  v.mainList.push_back(BlockNode{0, BlockAction::kIfDo, 0});
  v.subList.push_back(BlockNode{0, BlockAction::kIfDo, 0});
  v.vars.SetNumber("_ErrorCheck", 1);
  v.vars.SetNumber("_ErrorSkip", 0);
  v.vars.SetNumber("_ErrorCount", 0);
  v.vars.SetText("_ErrorDesc", "");
  v.breakLevel = -1;
  v.logDataPath = std::exchange(v.nextLogDataPath, std::string());
  v.uploadFolder.clear();
  v.output.hideHeaders = false;
  OutputWriter::CloseResultFile(&v.output);
  v.cancelled = false;
  v.cancelRequested.store(false);
  v.cancel.store(false);
  v.scriptEnded.store(false);
  v.endAndClose.store(false);
  v.restartRequested.store(false);
  {
    std::lock_guard<std::mutex> guard(v.postedLock);
    v.posted.clear();
  }
  v.saveId = 0;
  v.rebootCount = 0;
}

ExecResult Interpreter::RunStatements(View& v, size_t offset) {
  ExecResult r = ExecResult::kNext;
  for (uint64_t count = 1; offset < v.script.size(); ++count) {
    if (settings_.statementLimit != 0 && count > settings_.statementLimit) return r;
    Statement st = CutStatement(v.script, offset);
    v.statementOffset = static_cast<uint32_t>(offset);
    v.statementEnd = static_cast<uint32_t>(offset + st.length);
    std::string text = std::move(st.text);
    r = ExecuteStatement(*this, v.index, text, false);
    // Each pass rewrites one innermost group, so a statement needs at most about one pass per
    // character; the bound keeps a pathological rewrite from spinning for ever.
    for (int passes = 0; r == ExecResult::kRewritten; ++passes) {
      if (passes > 4096) {
        ReportCompletion(v.index, code::kCommandTooLong, text);
        r = ExecResult::kStop;
        break;
      }
      r = ExecuteStatement(*this, v.index, text, true);
    }
    if (ReportPosted(v) && r != ExecResult::kEnd && r != ExecResult::kEndAndClose &&
        v.vars.Get("_ErrorCheck").number == 3)
      r = ExecResult::kStop;
    if (v.endAndClose.load()) {  // the machine restarts: the run ends here, as a closed program's
      v.cancel.store(true);
      return ExecResult::kEndAndClose;
    }
    if (v.cancel.load()) {
      writer_.WriteLine(&v.output, "---- Cancel Job ----", kDetail, 10, colour::kCyan);
      v.cancelled = true;
      return r;
    }
    switch (r) {
      case ExecResult::kNext:
      case ExecResult::kRewritten:
        offset = v.statementEnd;
        break;
      case ExecResult::kJumpBack:
        offset = v.statementOffset;
        break;
      case ExecResult::kStop:
      case ExecResult::kEnd:
      case ExecResult::kEndAndClose:
        v.cancel.store(true);
        return r;
    }
  }
  return r;
}

void Interpreter::WriteLogData(View& v, ExecResult result) {
  // A run cancelled from outside is no pass: it ends with its own code, without an error line.
  if (v.cancelled && v.cancelRequested.load()) {
    v.lastCode = kCancelledRunCode;
    v.lastDescription = "Cancel Job";
  }
  if (v.logDataPath.empty()) return;
  const bool failed = result == ExecResult::kStop || v.lastCode == kCancelledRunCode;
  if (!failed) {
    v.lastCode = 0;
    v.lastDescription.clear();
  }
  base::WriteIniValue(v.logDataPath, "LogData", "ErrCode", Format("%06X", static_cast<uint32_t>(v.lastCode)));
  base::WriteIniValue(v.logDataPath, "LogData", "ErrDesc", v.lastDescription);
}

void Interpreter::EndRun(View& v) {
  v.scriptEnded.store(true);
  for (auto& hook : runEndHooks_) hook(v.index);
  ReportPosted(v);  // what the threads the hooks ended posted last
  bool cancelled = v.cancel.load();
  bool leftOpen = false;
  if (!v.subList.empty()) v.subList.pop_back();
  if (!v.subList.empty()) {
    leftOpen = true;
  } else {
    if (!v.mainList.empty()) v.mainList.pop_back();
    leftOpen = !v.mainList.empty();
  }
  if (leftOpen && !cancelled) ReportCompletion(v.index, code::kBlockEndMissing, "");
  v.loopList.clear();
  v.vars.Clear();
}

ExecResult Interpreter::RunImmediate(uint32_t index, std::string_view statement) {
  std::string text(Trim(statement, true));
  if (text.empty()) return ExecResult::kNext;
  View& v = view(index);
  v.running.store(true);
  InitialiseRun(v);
  v.runStartMs = host_.MonotonicMs();
  v.script = text;
  v.statementOffset = 0;
  v.statementEnd = static_cast<uint32_t>(text.size());
  ExecResult r = ExecuteStatement(*this, index, text, false);
  for (int passes = 0; r == ExecResult::kRewritten && passes <= 4096; ++passes)
    r = ExecuteStatement(*this, index, text, true);
  OutputWriter::CloseResultFile(&v.output);
  EndRun(v);
  v.running.store(false);
  return r;
}

ExecResult Interpreter::RunScript(uint32_t index, const std::string& scriptPath) {
  std::string text;
  if (!LoadScript(scriptPath, text)) text.clear();
  return RunScriptText(index, std::move(text), scriptPath);
}

ExecResult Interpreter::RunScriptText(uint32_t index, std::string text, const std::string& scriptPath) {
  return RunLoaded(view(index), std::move(text), scriptPath, nullptr);
}

ExecResult Interpreter::ResumeScript(uint32_t index, const std::string& scriptPath, const LoadedSave& save) {
  std::string text;
  if (!LoadScript(scriptPath, text)) text.clear();
  return RunLoaded(view(index), std::move(text), scriptPath, &save);
}

void Interpreter::RestoreSave(View& v, const LoadedSave& save) {
  const ResumeRecord& r = save.record;
  v.vars.Clear();
  for (const Variable& var : save.state.vars) v.vars.Set(var.name, var.value);
  v.mainList = save.state.mainList;
  v.subList = save.state.subList;
  v.loopList = save.state.loopList;
  v.loopLevel = r.loopLevel;
  v.breakLevel = r.breakLevel;
  v.logFolder = r.logFolder;
  v.baseLogFolder = r.baseLogFolder;
  v.scriptFolder = r.scriptFolder;
  v.logDataPath = r.logDataPath;
  v.uploadFolder = r.uploadFolder;
  v.lastCode = r.lastCode;
  v.lastDescription = r.lastDescription;
  v.saveId = r.saveId;
  v.rebootCount = r.rebootCount;
  v.runStartMs = host_.MonotonicMs() - std::min<uint64_t>(r.elapsedMs, host_.MonotonicMs());
  std::lock_guard<std::mutex> guard(v.output.lock);
  v.output.lineCounter = std::max(v.output.lineCounter, r.lineCounter);
}

ExecResult Interpreter::RunLoaded(View& v, std::string text, const std::string& scriptPath, const LoadedSave* resume) {
  const uint32_t index = v.index;
  v.running.store(true);
  InitialiseRun(v);
  v.runStartMs = host_.MonotonicMs();
  v.script = std::move(text);
  v.scriptPath = scriptPath;
  ExecResult result = ExecResult::kNext;
  if (resume && resume->record.resumeOffset > v.script.size()) {
    ReportCompletion(index, code::kError, "the script is shorter than the place the run was saved at");
  } else if (resume) {
    RestoreSave(v, *resume);
    {
      std::lock_guard<std::mutex> guard(v.output.delivery);
      v.output.baseLogFolder = v.baseLogFolder;
    }
    if (htmlLog_) {
      const std::string page = platform::JoinPath(v.logFolder, "TestLog.htm");
      if (!htmlLog_->Open(index, page))
        writer_.WriteLine(&v.output, "Cannot write the HTML log " + page, kDetail, 10, colour::kRed);
    }
    writer_.WriteFormatted(&v.output, kPlain, 14, colour::kYellow, "##### SCRIPT RESUME (Reboot %u) #####",
                           v.rebootCount);
    result = RunStatements(v, resume->record.resumeOffset);
  } else if (!v.script.empty()) {
    v.logFolder = settings_.workFolder;
    v.baseLogFolder = settings_.workFolder;
    {
      std::lock_guard<std::mutex> guard(v.output.delivery);
      v.output.baseLogFolder = v.baseLogFolder;
    }
    v.scriptFolder = platform::FolderOf(scriptPath);
    if (htmlLog_) {
      const std::string page = platform::JoinPath(v.logFolder, "TestLog.htm");
      if (!htmlLog_->Open(index, page))
        writer_.WriteLine(&v.output, "Cannot write the HTML log " + page, kDetail, 10, colour::kRed);
    }

    if (!writer_.settings().consoleForm) {
      const platform::LocalTime t = host_.Now();
      const std::string name = platform::FileNameOf(scriptPath);
      writer_.WriteFormatted(&v.output, kHeader, 10, colour::kGreen, "##### SCRIPT START %d/%02d/%02d (%s-%s : %s) #####",
                             t.year, t.month, t.day, kKernelVersion, kKernelBuild, name.c_str());
    }

    const std::string& sub = settings_.subParam;
    if (!sub.empty() && sub.find('$') == std::string::npos) {
      writer_.WriteLine(&v.output, "FnScript Param: " + sub, kPlain, 10, colour::kLightBlue);
      WriteUtf16File(platform::JoinPath(v.baseLogFolder, "_Result.txt"), sub + "\n");
    }
    if (!settings_.initCommand.empty() || sub.find('$') != std::string::npos) {
      std::string text = "Init_Command:" + settings_.initCommand + "\n";
      int counter = 0;
      std::string_view rest = sub;
      while (!rest.empty()) {
        size_t end = rest.find('$');
        std::string_view word = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (word.empty()) continue;
        size_t eq = word.find('=');
        if (eq != std::string_view::npos)
          text += std::string(word.substr(0, eq)) + ":" + std::string(word.substr(eq + 1)) + "\n";
        else
          text += Format("Init_Param%d:%.*s\n", counter++, static_cast<int>(word.size()), word.data());
      }
      WriteUtf16File(platform::JoinPath(v.logFolder, "_InitParam.txt"), text);
    }
    std::string copy = platform::JoinPath(v.logFolder, platform::FileNameOf(scriptPath));
    if (copy != scriptPath) platform::CopyFileOver(scriptPath, copy);

    result = RunStatements(v, 0);
  }

  WriteLogData(v, result);
  if (!writer_.settings().consoleForm) {
    // The window form closes the run with its log folder (a link in the window and the HTML log)
    // and its elapsed time.
    if (htmlLog_)
      writer_.WriteLine(&v.output, "##### SCRIPT LOG " + v.logFolder, kHeader, 10, colour::kGreen, kText, v.logFolder);
    const platform::LocalTime t = host_.Now();
    writer_.WriteFormatted(&v.output, kHeader, 10, colour::kGreen, "##### SCRIPT END %d/%02d/%02d (Elapsed Time: %s) #####",
                           t.year, t.month, t.day, ElapsedTimeText(host_.MonotonicMs() - v.runStartMs).c_str());
  }
  OutputWriter::CloseResultFile(&v.output);
  if (htmlLog_) htmlLog_->Close(index);
  platform::RemoveFile(platform::JoinPath(v.logFolder, "_InitParam.txt"));
  platform::RemoveFile(platform::JoinPath(v.logFolder, "_Result.txt"));
  if (!v.uploadFolder.empty()) CopyFolderFiles(v.logFolder, v.uploadFolder);  // SetLogFolder
  EndRun(v);
  v.running.store(false);
  return result;
}

}  // namespace kestrune::engine
