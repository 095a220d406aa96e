#include "engine/operator_question.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/value.h"

namespace kestrune::engine {

namespace code = base::code;
using base::EqualsNoCase;
using base::Format;
using Kind = Question::Kind;
using Source = Answer::Source;

size_t Utf8Chars(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

int32_t ParseItemList(std::string_view list, std::vector<Question::Item>& items, std::string& why) {
  items.clear();
  if (list.find('|') == std::string_view::npos) {
    why = "ItemList must include \"|\" for split Item";
    return code::kBadParameter;
  }
  size_t start = 0;
  for (;;) {
    const size_t end = list.find('|', start);
    std::string_view part = list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    Question::Item item;
    if (!part.empty() && part.front() == '*') {
      item.marked = true;
      part.remove_prefix(1);
    }
    if (Utf8Chars(part) > kMaxDialogItemChars) {
      why = Format("Item %zu over %zu characters", items.size() + 1, kMaxDialogItemChars);
      return code::kBadParameter;
    }
    item.text.assign(part);
    items.push_back(std::move(item));
    if (items.size() > kMaxDialogItems) {
      why = Format("ItemList over %zu items", kMaxDialogItems);
      return code::kBadParameter;
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return 0;
}

std::vector<Question::Filter> ParseFileFilters(std::string_view ext) {
  std::vector<Question::Filter> filters;
  size_t start = 0;
  while (start <= ext.size() && filters.size() < kMaxFileFilters) {
    const size_t end = std::min(ext.find('|', start), ext.size());
    std::string_view entry = base::Trim(ext.substr(start, end - start));
    start = end + 1;
    if (entry.empty()) continue;
    const size_t hash = entry.find('#');
    Question::Filter f;
    f.pattern.assign(base::Trim(entry.substr(0, hash)));
    f.description = hash == std::string_view::npos ? f.pattern : std::string(base::Trim(entry.substr(hash + 1)));
    if (f.pattern.empty()) f.pattern = "*.*";
    if (f.description.empty()) f.description = f.pattern;
    filters.push_back(std::move(f));
  }
  if (filters.empty()) filters.push_back({"*.*", "*.*"});
  return filters;
}

int32_t CheckInputRules(std::string_view specialKey, int64_t lengthLimit, std::string& why) {
  if (lengthLimit < 0) {
    why = Format("LenthLimit %lld < 0", static_cast<long long>(lengthLimit));
    return code::kBadParameter;
  }
  if (lengthLimit > static_cast<int64_t>(kMaxTextChars)) {
    why = Format("LenthLimit %lld over %zu", static_cast<long long>(lengthLimit), kMaxTextChars);
    return code::kBadParameter;
  }
  const size_t keyChars = Utf8Chars(specialKey);
  if (lengthLimit > 0 && static_cast<size_t>(lengthLimit) < keyChars) {
    why = Format("LenthLimit %lld shorter than SpecialKey \"%.*s\"", static_cast<long long>(lengthLimit),
                 static_cast<int>(specialKey.size()), specialKey.data());
    return code::kBadParameter;
  }
  return 0;
}

std::string InputRejection(const Question& q, std::string_view text) {
  if (q.lengthLimit > 0 && Utf8Chars(text) != static_cast<size_t>(q.lengthLimit))
    return Format("length %zu, not %d", Utf8Chars(text), q.lengthLimit);
  if (!q.specialKey.empty() && !base::StartsWithNoCase(text, q.specialKey))
    return Format("does not begin with \"%s\"", q.specialKey.c_str());
  return {};
}

namespace {

int32_t PreselectedIndex(const Question& q) {
  for (size_t i = 0; i < q.items.size(); ++i)
    if (q.items[i].marked) return static_cast<int32_t>(i);
  return q.items.empty() ? -1 : 0;
}

std::vector<bool> Marks(const Question& q) {
  std::vector<bool> marks;
  for (const Question::Item& item : q.items) marks.push_back(item.marked);
  return marks;
}

// A whole text that is a decimal number (optional sign); nullopt otherwise.
std::optional<int64_t> WholeNumber(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

Reply Taken(Answer a) {
  Reply r;
  r.outcome = Reply::Outcome::kAnswer;
  r.answer = std::move(a);
  return r;
}

Reply Again(std::string why) {
  Reply r;
  r.why = std::move(why);
  return r;
}

Reply MessageReply(const Question& q, std::string_view t, Source source, Source emptySource) {
  Answer a = DefaultAnswer(q, emptySource);
  if (t.empty()) return Taken(a);
  a.source = source;
  const bool yesNo = q.buttons == Question::Buttons::kYesNo;
  const bool single = q.buttons == Question::Buttons::kOk;
  if (t == "1" || EqualsNoCase(t, yesNo ? "Yes" : "OK") || (yesNo && EqualsNoCase(t, "Y"))) return Taken(a);
  if (!single && (t == "0" || EqualsNoCase(t, yesNo ? "No" : "Cancel") || (yesNo && EqualsNoCase(t, "N")))) {
    a.confirmed = false;
    return Taken(a);
  }
  return Again(single ? "answer OK" : (yesNo ? "answer Yes or No" : "answer OK or Cancel"));
}

Reply ComboReply(const Question& q, std::string_view t, Source source, Source emptySource) {
  Answer a = DefaultAnswer(q, emptySource);
  if (t.empty()) return Taken(a);
  a.source = source;
  if (std::optional<int64_t> n = WholeNumber(t); n && *n >= 1 && *n <= static_cast<int64_t>(q.items.size())) {
    a.index = static_cast<int32_t>(*n - 1);
    return Taken(a);
  }
  for (size_t i = 0; i < q.items.size(); ++i) {
    if (EqualsNoCase(q.items[i].text, t)) {
      a.index = static_cast<int32_t>(i);
      return Taken(a);
    }
  }
  return Again(Format("no item %.*s: give a number 1-%zu or an item's text", static_cast<int>(t.size()), t.data(),
                      q.items.size()));
}

Reply NumberReply(const Question& q, std::string_view t, Source source, Source emptySource) {
  Answer a = DefaultAnswer(q, emptySource);
  if (t.empty()) t = q.initial;
  else a.source = source;
  std::optional<int64_t> n = WholeNumber(t);
  if (!n || (q.maxChars != 0 && t.size() > q.maxChars))
    return Again(Format("not a decimal number of at most %zu characters", q.maxChars));
  a.text = std::to_string(*n);
  return Taken(a);
}

Reply CheckListReply(const Question& q, std::string_view t, Source source, Source emptySource) {
  Answer a = DefaultAnswer(q, emptySource);
  if (t.empty()) return Taken(a);
  a.source = source;
  if (EqualsNoCase(t, "all") || EqualsNoCase(t, "none")) {
    a.checks.assign(q.items.size(), EqualsNoCase(t, "all"));
    return Taken(a);
  }
  a.checks.assign(q.items.size(), false);
  size_t start = 0;
  while (start < t.size()) {
    size_t end = t.find_first_of(", ", start);
    if (end == std::string_view::npos) end = t.size();
    std::string_view word = t.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;
    std::optional<int64_t> n = WholeNumber(word);
    if (!n || *n < 1 || *n > static_cast<int64_t>(q.items.size()))
      return Again(Format("give item numbers 1-%zu, all or none", q.items.size()));
    a.checks[static_cast<size_t>(*n - 1)] = true;
  }
  return Taken(a);
}

Reply InputReply(const Question& q, std::string_view typed, Source source, Source emptySource) {
  std::string text;
  for (char c : typed)
    if (c != '\r' && c != '\n') text += c;
  Answer a = DefaultAnswer(q, text.empty() && !q.initial.empty() ? emptySource : source);
  if (!text.empty()) a.text = text;
  if (std::string why = InputRejection(q, a.text); !why.empty()) {
    Reply r = Again(Format("\"%s\" rejected: %s", a.text.c_str(), why.c_str()));
    r.rejectedScan = true;
    return r;
  }
  return Taken(a);
}

Reply FileReply(const Question& q, std::string_view t, Source source) {
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
  if (t.empty()) {
    Reply r;
    r.outcome = Reply::Outcome::kEscape;
    r.answer = DecliningAnswer(q, Source::kEscape);
    return r;
  }
  Answer a = DefaultAnswer(q, source);
  a.confirmed = true;
  a.text.assign(t);
  return Taken(a);
}

}  // namespace

Answer DefaultAnswer(const Question& q, Source source) {
  Answer a;
  a.source = source;
  a.confirmed = true;
  switch (q.kind) {
    case Kind::kMessage: break;
    case Kind::kCombo: a.index = PreselectedIndex(q); break;
    case Kind::kNumber: a.text = q.initial; break;
    case Kind::kCheckList: a.checks = Marks(q); break;
    case Kind::kInput: a.text = q.initial; break;
    case Kind::kFile: a.confirmed = false; break;  // a file has no default: nothing is chosen
  }
  return a;
}

Answer DecliningAnswer(const Question& q, Source source) {
  Answer a;
  a.source = source;
  if (q.kind == Kind::kCheckList) a.checks.assign(q.items.size(), false);
  return a;
}

Answer HeadlessAnswer(const Question& q) {
  return q.autoOk && !q.windowOnly ? DefaultAnswer(q, Source::kHeadless) : DecliningAnswer(q, Source::kHeadless);
}

Reply InterpretReply(const Question& q, std::string_view typed, Source source) {
  if (typed.find('\x1b') != std::string_view::npos) {
    Reply r;
    r.outcome = Reply::Outcome::kEscape;
    r.answer = DecliningAnswer(q, Source::kEscape);
    return r;
  }
  const Source emptySource = source == Source::kAnswerFile ? source : Source::kDefault;
  if (q.kind == Kind::kInput) return InputReply(q, typed, source, emptySource);  // blanks belong to a scan
  const std::string_view t = base::Trim(typed, true);
  switch (q.kind) {
    case Kind::kMessage: return MessageReply(q, t, source, emptySource);
    case Kind::kCombo: return ComboReply(q, t, source, emptySource);
    case Kind::kNumber: return NumberReply(q, t, source, emptySource);
    case Kind::kCheckList: return CheckListReply(q, t, source, emptySource);
    case Kind::kFile: return FileReply(q, t, source);
    case Kind::kInput: break;
  }
  return Again("");
}

std::string DefaultButtonCaption(const Question& q, int secondsLeft) {
  std::string caption = q.kind == Kind::kMessage && q.buttons == Question::Buttons::kYesNo ? "Yes" : "OK";
  if (secondsLeft > 0) caption += Format(" (%d)", secondsLeft);
  return caption;
}

std::string CheckListText(const std::vector<bool>& checks) {
  std::string text;
  for (bool on : checks) {
    if (!text.empty()) text += ",";
    text += on ? "\"1\"" : "\"0\"";
  }
  return text;
}

std::string AnswerText(const Question& q, const Answer& a) {
  switch (q.kind) {
    case Kind::kMessage:
      if (q.buttons == Question::Buttons::kYesNo) return a.confirmed ? "Yes" : "No";
      if (q.buttons == Question::Buttons::kOk) return a.confirmed ? "OK" : "none";
      return a.confirmed ? "OK" : "Cancel";
    case Kind::kCombo:
      return a.confirmed && a.index >= 0 && static_cast<size_t>(a.index) < q.items.size()
                 ? q.items[static_cast<size_t>(a.index)].text
                 : "none";
    case Kind::kCheckList: return CheckListText(a.checks);
    case Kind::kNumber:
    case Kind::kInput:
    case Kind::kFile: return a.confirmed ? "\"" + a.text + "\"" : "none";
  }
  return {};
}

std::string SourceText(const Answer& a) {
  switch (a.source) {
    case Source::kOperator: return "operator";
    case Source::kAnswerFile: return Format("answer-file line %u", a.answerLine);
    case Source::kCountdown: return "countdown";
    case Source::kDefault: return "default";
    case Source::kEscape: return "Escape";
    case Source::kHeadless: return "headless";
  }
  return {};
}

std::string AuditLine(const Question& q, const Answer& a) {
  auto echo = [](std::string text) {
    for (char& c : text) {
      if (c == ':') c = '-';
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    return text;
  };
  const std::string& asked = q.text.empty() ? q.command : q.text;
  return Format("Operator answer - %s - %s", echo(asked).c_str(),
                echo(AnswerText(q, a) + " (" + SourceText(a) + ")").c_str());
}

Countdown::Countdown(const platform::Host& host, int seconds)
    : host_(host), endMs_(host.MonotonicMs() + static_cast<uint64_t>(std::max(seconds, 0)) * 1000u) {}

int Countdown::SecondsLeft() const {
  const uint64_t now = host_.MonotonicMs();
  if (now >= endMs_) return 0;
  return static_cast<int>((endMs_ - now + 999) / 1000);
}

uint32_t Countdown::MsToNextChange() const {
  const uint64_t now = host_.MonotonicMs();
  if (now >= endMs_) return 0;
  const uint64_t left = endMs_ - now;
  const uint64_t toChange = left % 1000;
  return static_cast<uint32_t>(toChange == 0 ? 1000 : toChange);
}

}  // namespace kestrune::engine
