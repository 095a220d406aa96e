// The portable half of the operator questions: building a Question from a dialog command's
// parameters (item lists, file filters, the InputBox rules), reading a reply the way an operator types
// it or an answer file writes it, the answers of the default button, of declining and of an
// unattended run, the AutoOK countdown, and the audit line that every question leaves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ui.h"
#include "platform/host.h"

namespace kestrune::engine {

inline constexpr size_t kMaxDialogItems = 255;
inline constexpr size_t kMaxDialogItemChars = 250;
inline constexpr size_t kMaxFileFilters = 10;
inline constexpr size_t kNumberBoxChars = 8;
inline constexpr int kCountdownSeconds = 20;

// Splits an item list "AAA|*BBB|CCC" into items; a leading "*" marks an item and is not part of its
// text; empty items stay (they show blank). Returns 0, or kBadParameter with why when the list has no
// "|", more than 255 items, or an item longer than 250 characters.
int32_t ParseItemList(std::string_view list, std::vector<Question::Item>& items, std::string& why);

// The filters of an Ext text "*.bin#FW image|*.*": at most the first 10 entries; an entry without
// "#" is described by its pattern; empty entries are skipped. No entry at all gives "*.*".
std::vector<Question::Filter> ParseFileFilters(std::string_view ext);

// The InputBox rules: 0, or kBadParameter with why when lengthLimit is negative or shorter than the
// special key.
int32_t CheckInputRules(std::string_view specialKey, int64_t lengthLimit, std::string& why);

// Why the InputBox rules reject text (already without line ends); "" when it is accepted.
std::string InputRejection(const Question& q, std::string_view text);

// The answer of the default button as the question starts (OK or Yes, the preselected item or the
// first, the marks as they are, the initial text).
Answer DefaultAnswer(const Question& q, Answer::Source source);
// Declining: Cancel or No, no item, nothing checked, no text.
Answer DecliningAnswer(const Question& q, Answer::Source source);
// Nobody to ask: the countdown's answer with AutoOK, else declining (source kHeadless).
Answer HeadlessAnswer(const Question& q);

// A reply as typed at a prompt or written in an answer file.
//  message: "" (the first button), OK, Yes, Y, 1 / Cancel, No, N, 0 (any case)
//  combo: "" (the current selection), an item number 1..n, or an item's text (any case)
//  number: "" (the default number), or a decimal number of at most 8 characters
//  check list: "" (the marks as they are), "all", "none", or the item numbers to check ("1,3")
//  input: the text; "" keeps the initial text; then the rules
//  file: a path (double quotes around it are dropped); "" declines
struct Reply {
  enum class Outcome { kAnswer, kAgain, kEscape };
  Outcome outcome = Outcome::kAgain;
  Answer answer;    // kAnswer
  std::string why;  // kAgain: what was wrong with the reply
  bool rejectedScan = false;  // kAgain of an input text the rules reject
};
// source: kOperator or kAnswerFile (an empty reply that takes a default counts as kDefault when
// typed). An escape character anywhere in the reply is Escape.
Reply InterpretReply(const Question& q, std::string_view typed, Answer::Source source);

// The default button's caption, with the countdown's seconds when secondsLeft > 0: "OK (17)".
std::string DefaultButtonCaption(const Question& q, int secondsLeft);
// The answer as a text for the audit: "OK", "BBB", "\"1\",\"0\"", the text typed; "none" when declined.
std::string AnswerText(const Question& q, const Answer& a);
// The CheckListBox result: "\"1\",\"0\",..." with one entry per item.
std::string CheckListText(const std::vector<bool>& checks);
// "operator", "answer-file line 3", "countdown", "default", "Escape", "headless".
std::string SourceText(const Answer& a);
// "Operator answer - <question> - <answer> (<source>)", every ':' in the echoed texts made '-' and
// line breaks blanks.
std::string AuditLine(const Question& q, const Answer& a);

// The AutoOK countdown: starts at 20 s on the host's clock and runs down once per second.
class Countdown {
 public:
  explicit Countdown(const platform::Host& host, int seconds = kCountdownSeconds);
  // Whole seconds left, rounded up: 20 at the start, 0 once it has run out.
  int SecondsLeft() const;
  // Milliseconds until SecondsLeft changes next (0 once it has run out).
  uint32_t MsToNextChange() const;
  bool Expired() const { return SecondsLeft() == 0; }

 private:
  const platform::Host& host_;
  uint64_t endMs_;
};

// Counts the characters (code points) of a UTF-8 text.
size_t Utf8Chars(std::string_view text);

}  // namespace kestrune::engine
