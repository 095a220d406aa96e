#include "engine/executor.h"

#include <optional>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/error_table.h"
#include "engine/expression.h"
#include "engine/view.h"

namespace kestrune::engine {

namespace code = base::code;
using base::EqualsNoCase;
using base::FindNoCase;
using base::StartsWithNoCase;
using base::ToLowerAscii;
using base::Trim;

namespace {

constexpr std::string_view kDelimiters = "!=><(){}+-*/%|&;";
constexpr size_t kMaxStatementChars = 512;

size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<uint8_t>(c) & 0xC0) != 0x80;
  return n;
}

bool IsWordEnd(char c) { return c == ' ' || c == '(' || c == '{'; }

// "if" followed by a blank, "(" or "{" at the start (any case).
bool StartsWithIfWord(std::string_view s) {
  return s.size() > 2 && StartsWithNoCase(s, "if") && IsWordEnd(s[2]);
}

// The first word, lower-cased, ended by a blank, "(" or "{" within the first 60 characters.
std::string FirstWord(std::string_view s) {
  s = s.substr(0, std::min<size_t>(s.size(), 60));
  size_t end = 0;
  while (end < s.size() && !IsWordEnd(s[end])) ++end;
  return ToLowerAscii(s.substr(0, end));
}

void Push(std::vector<BlockNode>& list, BlockAction action, uint32_t offset = 0) {
  int32_t level = list.empty() ? 0 : list.back().level + 1;
  list.push_back(BlockNode{level, action, offset});
}

// Pops the top node. False when the list was empty or is empty afterwards.
bool Pop(std::vector<BlockNode>& list) {
  if (list.empty()) return false;
  list.pop_back();
  return !list.empty();
}

class Executor {
 public:
  Executor(Interpreter& interp, uint32_t index)
      : interp_(interp), index_(index), v_(interp.view(index)), errors_(interp, index) {}

  ExecResult Run(std::string& statement, bool continuation);

 private:
  ExecResult CloseBlock(std::string& s);
  ExecResult SkipStatement(const std::string& s);
  ExecResult NoCall(std::string& s, const std::string& blockWord, bool haveBlock);
  ExecResult Call(std::string& s, std::string callName, size_t open, size_t close);
  bool PopMain();
  void ReportPopFailure();
  bool NextWordIsElse() const;
  ExecResult AfterStatement() const { return ErrorCheck() == 3 ? ExecResult::kStop : ExecResult::kNext; }
  // After a command: the run stops, ends or ends the program when the command reported so.
  std::optional<ExecResult> EndOfRun() const {
    switch (ErrorCheck()) {
      case 3: return ExecResult::kStop;
      case 4: return ExecResult::kEnd;
      case 5: return ExecResult::kEndAndClose;
      default: return std::nullopt;
    }
  }
  int64_t ErrorCheck() const { return v_.vars.Get("_ErrorCheck").number; }
  bool Flag(std::string_view name) const {
    Value value = v_.vars.Get(name);
    return value.IsNumeric() && value.number == 1;
  }

  Interpreter& interp_;
  uint32_t index_;
  View& v_;
  ReportingSink errors_;
};

void Executor::ReportPopFailure() {
  interp_.ReportCompletion(index_, code::kBlockDeleteFailed, "BlockList is Empty");
}

bool Executor::PopMain() {
  bool wasLoop = !v_.mainList.empty() && v_.mainList.back().action == BlockAction::kLoopDo;
  bool ok = Pop(v_.mainList);
  if (wasLoop) {
    if (!v_.loopList.empty()) v_.loopList.pop_back();
    v_.loopLevel = v_.loopList.empty() ? 0 : v_.loopList.back();
  }
  return ok;
}

bool Executor::NextWordIsElse() const {
  size_t pos = v_.statementEnd;
  const std::string& script = v_.script;
  while (pos < script.size() && (script[pos] == ' ' || script[pos] == '\t')) ++pos;
  size_t end = pos;
  while (end < script.size() && !IsWordEnd(script[end]) && script[end] != '\r' && script[end] != '\n' &&
         script[end] != '\t')
    ++end;
  return EqualsNoCase(std::string_view(script).substr(pos, end - pos), "else");
}

ExecResult Executor::CloseBlock(std::string& s) {
  const BlockNode m = v_.mainList.back();
  const BlockNode sub = v_.subList.back();
  if (m.action == BlockAction::kLoopDo) {
    v_.statementOffset = m.savedOffset;
    if (!Pop(v_.subList) || !PopMain()) return ReportPopFailure(), ExecResult::kStop;
    int32_t t = v_.mainList.back().level;
    if (v_.breakLevel == -1 || t < v_.breakLevel) return ExecResult::kJumpBack;
    if (t == v_.breakLevel) v_.breakLevel = -1;
    return ExecResult::kNext;
  }
  if (m.action == BlockAction::kLoopSkip) {
    if (!Pop(v_.subList) || !PopMain()) return ReportPopFailure(), ExecResult::kStop;
    if (v_.breakLevel != -1 && v_.mainList.back().level == v_.breakLevel) v_.breakLevel = -1;
    return ExecResult::kNext;
  }
  if (sub.action == BlockAction::kIfDo || sub.action == BlockAction::kIfSkip) {
    if (!Pop(v_.subList)) return ReportPopFailure(), ExecResult::kStop;
    if (!NextWordIsElse() && !PopMain()) return ReportPopFailure(), ExecResult::kStop;
    return ExecResult::kNext;
  }
  s.clear();
  return ExecResult::kNext;
}

ExecResult Executor::SkipStatement(const std::string& s) {
  std::string word = FirstWord(s);
  if (word == "if") {
    if (s.find('{') != std::string::npos) {
      Push(v_.subList, BlockAction::kIfSkip);
      Push(v_.mainList, BlockAction::kIfSkip);
    }
  } else if (word == "else") {
    Push(v_.subList, BlockAction::kIfSkip);
  } else if (word == "while") {
    Push(v_.subList, BlockAction::kLoopSkip);
    Push(v_.mainList, BlockAction::kLoopSkip);
  }
  return ExecResult::kNext;
}

ExecResult Executor::NoCall(std::string& s, const std::string& blockWord, bool haveBlock) {
  if (!haveBlock) {
    if (StartsWithIfWord(s)) {
      if (!Flag("if")) return ExecResult::kNext;
      s = s.substr(2);
      return ExecResult::kRewritten;
    }
    if (IsIncrementStatement(s)) {
      RunIncrement(v_.vars, errors_, s);
    } else if (s.find('=') != std::string::npos) {
      RunAssignment(v_.vars, errors_, s);
    } else if (s != "}" && !s.ends_with(';')) {
      interp_.ReportCompletion(index_, code::kUndefinedCommand, s);
    }
    return AfterStatement();
  }
  if (v_.mainList.empty()) {
    interp_.ReportCompletion(index_, code::kBlockGetFailed, "Main BlockList is Empty");
    return ExecResult::kStop;
  }
  std::string word = ToLowerAscii(blockWord);
  BlockNode& m = v_.mainList.back();
  if (word == "if") {
    BlockAction action = Flag("if") ? BlockAction::kIfDo : BlockAction::kIfSkip;
    Push(v_.mainList, action);
    Push(v_.subList, action);
  } else if (word == "else if") {
    if (Flag("else if")) {
      m.action = BlockAction::kIfDo;
      Push(v_.subList, BlockAction::kIfDo);
    } else {
      Push(v_.subList, BlockAction::kIfSkip);
    }
  } else if (word == "else") {
    if (m.action == BlockAction::kIfSkip) {
      m.action = BlockAction::kIfDo;
      Push(v_.subList, BlockAction::kIfDo);
    } else {
      Push(v_.subList, BlockAction::kIfSkip);
    }
  } else if (word == "while") {
    if (Flag("while")) {
      Push(v_.mainList, BlockAction::kLoopDo, v_.statementOffset);
      Push(v_.subList, BlockAction::kLoopDo);
      v_.loopList.push_back(v_.mainList.back().level);
      v_.loopLevel = v_.mainList.back().level;
    } else {
      v_.breakLevel = m.level;
      Push(v_.mainList, BlockAction::kLoopSkip);
      Push(v_.subList, BlockAction::kLoopSkip);
    }
  }
  return AfterStatement();
}

ExecResult Executor::Call(std::string& s, std::string name, size_t open, size_t close) {
  std::string args = s.substr(open + 1, close - open - 1);
  std::string tail = s.substr(close + 1);
  std::string before = s.substr(0, open);

  const int diskType = interp_.CurrentDiskType();
  bool commandCalled = true;  // only a command leaves a result variable named after the call
  if (CommandHandler h = interp_.HandlerFor(name, CommandCategory::kGeneral, diskType)) {
    h(interp_, index_, EvaluateArguments(v_.vars, errors_, args), name);
    if (auto r = EndOfRun()) return *r;
  } else if (CommandHandler h = interp_.HandlerFor(name, CommandCategory::kDevice, diskType)) {
    interp_.CallDeviceCommand(index_, h, EvaluateArguments(v_.vars, errors_, args), name);
    if (auto r = EndOfRun()) return *r;
  } else if (name.find("_Varible") != std::string::npos) {
    commandCalled = false;
    EvaluateExpression(v_.vars, errors_, args, name);
  } else if (EqualsNoCase(name, "while")) {
    commandCalled = false;
    // JumpBack re-reads the loop from its keyword, not from the blanks before it.
    std::string_view raw = std::string_view(v_.script).substr(v_.statementOffset, v_.statementEnd - v_.statementOffset);
    if (size_t at = FindNoCase(raw, "while"); at != std::string::npos) v_.statementOffset += static_cast<uint32_t>(at);
    EvaluateCondition(v_.vars, errors_, args, "while");
  } else if (EqualsNoCase(name, "if")) {
    commandCalled = false;
    EvaluateCondition(v_.vars, errors_, args, "if");
  } else if (EqualsNoCase(name, "else if")) {
    commandCalled = false;
    if (!v_.mainList.empty() && v_.mainList.back().action == BlockAction::kIfDo)
      v_.vars.SetNumber("else if", 0);
    else
      EvaluateCondition(v_.vars, errors_, args, "else if");
  } else if (interp_.RunExternalCommand(index_, name, args)) {
    // ran; its result import has printed what the program left behind
  } else if (StartsWithIfWord(s)) {
    if (!Flag("if")) return ExecResult::kNext;
    s = s.substr(2);
    return ExecResult::kRewritten;
  } else if (name.find(':') != std::string::npos) {
    commandCalled = false;
    name = "_Varible";
    EvaluateExpression(v_.vars, errors_, args, name);
  } else {
    commandCalled = false;
    interp_.ReportCompletion(index_, code::kUndefinedCommand, s);
  }

  // A condition or expression leaves no result variable to protect, and renaming "if" because the
  // rest of the line mentions the word would break the one-line If.
  if (commandCalled && !name.empty() && FindNoCase(tail, name) != std::string::npos) {
    // Two calls of one command in a statement: keep the first result under a fresh name.
    std::string fresh = NextFreshName();
    v_.vars.Rename(name, fresh);
    for (size_t at = 0; (at = FindNoCase(before, name, at)) != std::string::npos; at += fresh.size())
      before.replace(at, name.size(), fresh);
  }
  s = before + (name.find("_Varible") != std::string::npos ? name : std::string()) + tail;
  return ErrorCheck() == 3 ? ExecResult::kStop : ExecResult::kRewritten;
}

ExecResult Executor::Run(std::string& statement, bool continuation) {
  v_.lastCode = 0;
  v_.lastDescription.clear();
  statement = CollapseBlanks(statement);
  std::string& s = statement;
  if (s.empty()) return ExecResult::kNext;
  if (CharCount(s) > kMaxStatementChars) {
    interp_.ReportCompletion(index_, code::kCommandTooLong, s);
    return ExecResult::kStop;
  }

  if (!continuation) {
    if (v_.mainList.empty()) {
      interp_.ReportCompletion(index_, code::kBlockGetFailed, "Main BlockList is Empty");
      return ExecResult::kStop;
    }
    if (v_.subList.empty()) {
      interp_.ReportCompletion(index_, code::kBlockGetFailed, "Sub BlockList is Empty");
      return ExecResult::kStop;
    }
    if (s.front() == '}') {
      s.front() = ' ';
      return CloseBlock(s);
    }
    const BlockNode& m = v_.mainList.back();
    const BlockNode& sub = v_.subList.back();
    if ((v_.breakLevel != -1 && v_.breakLevel < m.level) || sub.action == BlockAction::kIfSkip ||
        m.action == BlockAction::kLoopSkip)
      return SkipStatement(s);
  }

  s = std::string(Trim(s));
  if (s.empty()) return ExecResult::kNext;

  // Find the first innermost group.
  bool inQuotes = false;
  bool haveCall = false, haveClose = false, haveBlock = false;
  std::string callName, blockWord;
  size_t open = 0, close = 0, tokenStart = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      inQuotes = !inQuotes;
      continue;
    }
    if (inQuotes || kDelimiters.find(c) == std::string_view::npos) continue;
    std::string token(Trim(std::string_view(s).substr(tokenStart, i - tokenStart)));
    if (c == '(') {
      haveCall = true;
      callName = token;
      open = i;
    } else if (c == ')') {
      haveClose = haveCall;
      close = i;
      break;
    } else if (c == '{') {
      if (token.empty()) return ExecResult::kNext;
      haveBlock = true;
      blockWord = token;
    }
    tokenStart = i + 1;
  }

  if (!haveCall) return NoCall(s, blockWord, haveBlock);
  if (!haveClose) {
    interp_.ReportCompletion(index_, code::kBlockCommandEndMissing, s);
    return ExecResult::kStop;
  }
  if (callName.empty()) callName = NextFreshName();
  return Call(s, callName, open, close);
}

}  // namespace

std::string CollapseBlanks(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  bool inQuotes = false;
  for (char c : in) {
    if (c == '"') inQuotes = !inQuotes;
    if (!inQuotes && (c == ' ' || c == '\t')) {
      if (!out.empty() && out.back() != ' ') out.push_back(' ');
      continue;
    }
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

ExecResult ExecuteStatement(Interpreter& interp, uint32_t view, std::string& statement, bool continuation) {
  return Executor(interp, view).Run(statement, continuation);
}

}  // namespace kestrune::engine
