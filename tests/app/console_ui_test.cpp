// The console form's Ui: file prompts answered on standard input, the status line, and the
// unattended form that cancels every choice. Also how a child instance gets the parent's lab.
#include "app/console_ui.h"

#include <gtest/gtest.h>

#include <deque>

#include "app/command_line.h"
#include "app/disk_source.h"
#include "engine/operator_question.h"
#include "support/fake_host.h"

namespace kestrune::app {
namespace {

using engine::FileChoice;

// A ConsoleUi whose operator types the given lines (nullopt: the end of the input).
struct TypedUi {
  explicit TypedUi(bool interactive, std::deque<std::optional<std::string>> typed = {})
      : lines(std::move(typed)),
        ui(
            console, interactive,
            [this](const std::atomic<bool>* cancel) -> std::optional<std::string> {
              seenCancel = cancel;
              ++reads;
              if (lines.empty()) return std::nullopt;
              auto line = lines.front();
              lines.pop_front();
              return line;
            },
            [this](const std::string& path, bool append) {
              redirected = path + (append ? " (append)" : "");
              return true;
            },
            host) {}

  testing::FakeHost host;
  Console console{host};
  std::deque<std::optional<std::string>> lines;
  const std::atomic<bool>* seenCancel = nullptr;
  int reads = 0;
  std::string redirected;
  ConsoleUi ui;
};

TEST(ConsoleUiTest, PromptTexts) {
  EXPECT_EQ(FileChoicePrompt({FileChoice::Mode::kOpen, "ini File", "ini", ""}), "ini File to open (*.ini): ");
  EXPECT_EQ(FileChoicePrompt({FileChoice::Mode::kSave, "CSV File", "csv", "report.csv"}),
            "CSV File to save (*.csv) [report.csv]: ");
  EXPECT_EQ(FileChoicePrompt({FileChoice::Mode::kOpen, "", "", ""}), "File to open (*.*): ");
}

TEST(ConsoleUiTest, TheOperatorsAnswers) {
  struct Case {
    const char* name;
    std::optional<std::string> typed;
    std::string preset;
    std::optional<std::string> chosen;
  };
  const Case cases[] = {
      {"a path", "  /data/station.ini \r", "", "/data/station.ini"},
      {"a quoted path loses its quotes", "\"/my data/a.ini\"", "", "/my data/a.ini"},
      {"Enter alone takes the preset", "", "report.csv", "report.csv"},
      {"Enter alone without a preset cancels", "", "", std::nullopt},
      {"the end of the input cancels", std::nullopt, "report.csv", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TypedUi t(true, {c.typed});
    std::atomic<bool> cancel{false};
    FileChoice choice{FileChoice::Mode::kSave, "CSV File", "csv", c.preset, &cancel};
    EXPECT_EQ(t.ui.ChooseFile(0, choice), c.chosen);
    EXPECT_EQ(t.seenCancel, &cancel);
    EXPECT_TRUE(t.host.out.starts_with(FileChoicePrompt(choice))) << t.host.out;
  }
}

TEST(ConsoleUiTest, ACancelledRunIsNotAsked) {
  TypedUi t(true, {"/x.ini"});
  std::atomic<bool> cancel{true};
  EXPECT_EQ(t.ui.ChooseFile(0, {FileChoice::Mode::kOpen, "ini File", "ini", "", &cancel}), std::nullopt);
  EXPECT_EQ(t.reads, 0);
  EXPECT_EQ(t.host.out, "");
}

TEST(ConsoleUiTest, UnattendedCancelsEveryChoiceAndShowsNoStatus) {
  TypedUi t(false, {"/x.ini"});
  EXPECT_EQ(t.ui.ChooseFile(0, {FileChoice::Mode::kOpen, "ini File", "ini", ""}), std::nullopt);
  EXPECT_EQ(t.reads, 0);
  t.ui.ShowStatus(0, "busy");
  EXPECT_EQ(t.host.out, "");
  EXPECT_TRUE(t.ui.RedirectConsole("/tmp/out.log", true));  // ConsoleOut works unattended too
  EXPECT_EQ(t.redirected, "/tmp/out.log (append)");
}

TEST(ConsoleUiTest, TheStatusIsTheConsolesStatusLine) {
  TypedUi t(true);
  t.ui.ShowStatus(0, "Cycle 3");
  EXPECT_EQ(t.host.out, "\r        Cycle 3\x1b[K");
}

TEST(ConsoleUiTest, UiModesOneAndThreeAreUnattended) {
  testing::FakeHost host;
  Console console(host);
  for (int mode : {1, 3}) {
    auto ui = MakeConsoleUi(console, mode, host);
    EXPECT_FALSE(static_cast<ConsoleUi&>(*ui).interactive()) << mode;
  }
}

// An operator at the terminal who types after a pause (on the fake clock); kTimeout entries are
// silence. Once the script is used up the operator stays silent (the end of the input for a prompt
// that would wait for ever).
struct Typed {
  uint64_t afterMs;
  platform::PromptEvent::Kind kind;
  std::string line;
};

class ScriptedPrompt final : public platform::PromptReader {
 public:
  ScriptedPrompt(testing::FakeHost& host, std::deque<Typed>& keys, std::atomic<bool>* stopWhenSilent)
      : host_(host), keys_(keys), stopWhenSilent_(stopWhenSilent) {}
  platform::PromptEvent Read(uint32_t timeoutMs, const std::atomic<bool>*) override {
    if (keys_.empty()) {
      if (stopWhenSilent_) {  // the run is stopped from outside while the prompt waits
        host_.Advance(100);
        stopWhenSilent_->store(true);
        return {};
      }
      if (timeoutMs == kForever) return {platform::PromptEvent::Kind::kEnd, {}};
      host_.Advance(timeoutMs);
      return {};
    }
    Typed& next = keys_.front();
    if (next.afterMs > timeoutMs) {
      next.afterMs -= timeoutMs;
      host_.Advance(timeoutMs);
      return {};
    }
    host_.Advance(next.afterMs);
    platform::PromptEvent e{next.kind, next.line};
    keys_.pop_front();
    typing_ |= e.kind == platform::PromptEvent::Kind::kLine;
    return e;
  }
  bool Typing() const override { return typing_; }

 private:
  testing::FakeHost& host_;
  std::deque<Typed>& keys_;
  std::atomic<bool>* stopWhenSilent_;
  bool typing_ = false;
};

struct PromptedUi {
  explicit PromptedUi(bool interactive, std::deque<Typed> typed = {})
      : keys(std::move(typed)),
        ui(
            console, interactive, [](const std::atomic<bool>*) { return std::nullopt; },
            [](const std::string&, bool) { return true; }, host,
            [this] { return std::make_unique<ScriptedPrompt>(host, keys, stopWhenSilent); }) {}
  testing::FakeHost host;
  Console console{host};
  std::deque<Typed> keys;
  std::atomic<bool>* stopWhenSilent = nullptr;
  ConsoleUi ui;
};

using engine::Answer;
using engine::Question;
using Event = platform::PromptEvent::Kind;

Question ComboQuestion() {
  Question q;
  q.kind = Question::Kind::kCombo;
  q.text = "Test message?";
  q.items = {{"AAA", false}, {"BBB", true}, {"CCC", false}};
  q.autoOk = true;
  return q;
}

TEST(ConsoleUiAskTest, TheCountdownPressesTheDefaultButtonAfterTwentySeconds) {
  PromptedUi t(true);
  const Answer a = t.ui.Ask(0, ComboQuestion());
  EXPECT_EQ(a.source, Answer::Source::kCountdown);
  EXPECT_EQ(a.index, 1);
  EXPECT_EQ(t.host.monotonic.load(), 20'000u);
  const std::string& out = t.host.out;
  EXPECT_TRUE(out.starts_with("Test message?\n  1. AAA\n  2. BBB\n  3. CCC\n"
                              "\r        Item 1-3 [2] OK (20): \x1b[K\r        Item 1-3 [2] OK (19): \x1b[K"))
      << out;
  EXPECT_TRUE(out.ends_with("\r        Item 1-3 [2] OK (1): \x1b[K\n")) << out;
}

TEST(ConsoleUiAskTest, PromptsAndReplies) {
  Question message;
  message.text = "Erase?\nAll data is lost";
  message.autoOk = true;
  Question input;
  input.kind = Question::Kind::kInput;
  input.text = "Barcode:";
  input.lengthLimit = 10;
  Question number;
  number.kind = Question::Kind::kNumber;
  number.text = "Number:";
  number.initial = "10";
  number.maxChars = 8;
  Question checks;
  checks.kind = Question::Kind::kCheckList;
  checks.text = "Test item?";
  checks.items = {{"AAA", true}, {"BBB", false}, {"CCC", true}, {"DDD", false}};
  Question plain = message;
  plain.autoOk = false;
  struct Case {
    const char* name;
    Question q;
    std::deque<Typed> typed;
    Answer::Source source;
    std::string result;  // AnswerText of the answer
    std::string out;     // what the console shows
    uint64_t clock;      // the fake clock afterwards
  };
  const Case cases[] = {
      {"a key stops the countdown", message, {{3'500, Event::kLine, "cancel"}}, Answer::Source::kOperator, "Cancel",
       "Erase?\nAll data is lost\n\r        [OK (20)/Cancel]: \x1b[K\r        [OK (19)/Cancel]: \x1b[K"
       "\r        [OK (18)/Cancel]: \x1b[K\r        [OK (17)/Cancel]: \x1b[K\n",
       3'500},
      {"Escape", plain, {{100, Event::kEscape, ""}}, Answer::Source::kEscape, "Cancel",
       "Erase?\nAll data is lost\n[OK/Cancel]: \n", 100},
      {"the end of the input without AutoOK", plain, {{0, Event::kEnd, ""}}, Answer::Source::kEscape, "Cancel",
       "Erase?\nAll data is lost\n[OK/Cancel]: \n", 0},
      {"the end of the input with AutoOK: the countdown runs on", message, {{2'000, Event::kEnd, ""}},
       Answer::Source::kCountdown, "OK", "", 20'000},
      {"Escape with AutoOK: the countdown runs on", message, {{2'000, Event::kEscape, ""}},
       Answer::Source::kCountdown, "OK", "", 20'000},
      {"a 9-character scan is cleared, a 10-character one accepted", input,
       {{0, Event::kLine, "SN1234567"}, {0, Event::kLine, "SN12345678"}}, Answer::Source::kOperator, "\"SN12345678\"",
       "Barcode:\nLenth Limit : 10\nText: \n\"SN1234567\" rejected: length 9, not 10, again\nText: \n", 0},
      {"abc is no number: asked again", number, {{0, Event::kLine, "abc"}, {0, Event::kLine, "42"}},
       Answer::Source::kOperator, "\"42\"",
       "Number:\nNumber [10]: \nnot a decimal number of at most 8 characters, again\nNumber [10]: \n", 0},
      {"a check list confirmed unchanged", checks, {{0, Event::kLine, ""}}, Answer::Source::kDefault,
       "\"1\",\"0\",\"1\",\"0\"",
       "Test item?\n  1 [x] AAA\n  2 [ ] BBB\n  3 [x] CCC\n  4 [ ] DDD\nCheck 1-4, all or none [1,3]: \n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PromptedUi t(true, c.typed);
    const Answer a = t.ui.Ask(0, c.q);
    EXPECT_EQ(a.source, c.source);
    EXPECT_EQ(engine::AnswerText(c.q, a), c.result);
    if (!c.out.empty()) EXPECT_EQ(t.host.out, c.out);
    EXPECT_EQ(t.host.monotonic.load(), c.clock);
  }
}

TEST(ConsoleUiAskTest, WithoutAnOperator) {
  // AutoOK counts down on the clock although nobody is at the terminal; without it: declined at once.
  PromptedUi t(false, {{0, Event::kLine, "1"}});
  Answer a = t.ui.Ask(0, ComboQuestion());
  EXPECT_EQ(a.source, Answer::Source::kCountdown);
  EXPECT_EQ(a.index, 1);
  EXPECT_EQ(t.host.monotonic.load(), 20'000u);
  Question q = ComboQuestion();
  q.autoOk = false;
  a = t.ui.Ask(0, q);
  EXPECT_EQ(a.source, Answer::Source::kHeadless);
  EXPECT_EQ(a.index, -1);
  EXPECT_EQ(t.host.monotonic.load(), 20'000u);
  EXPECT_EQ(t.host.out, "");
  EXPECT_EQ(t.keys.size(), 1u);  // nobody read the input

  // A cancelled run stops the countdown.
  std::atomic<bool> cancel{true};
  q.autoOk = true;
  q.cancel = &cancel;
  EXPECT_EQ(t.ui.Ask(0, q).source, Answer::Source::kEscape);
  PromptedUi asked(true, {{0, Event::kLine, "1"}});
  EXPECT_EQ(asked.ui.Ask(0, q).source, Answer::Source::kEscape);
  EXPECT_EQ(asked.host.out, "");
}

// The program's own boxes (partitions, Security Erase, File_Delete) need the window: the console
// form declines them at once, with or without an operator and whatever AutoOK says, reading no key.
TEST(ConsoleUiAskTest, WindowOnlyQuestionsAreDeclinedAtOnce) {
  for (bool interactive : {false, true}) {
    for (bool autoOk : {false, true}) {
      SCOPED_TRACE(std::to_string(interactive) + "/" + std::to_string(autoOk));
      PromptedUi t(interactive, {{0, Event::kLine, "yes"}});
      Question q;
      q.text = "Security Erase?";
      q.autoOk = autoOk;
      q.windowOnly = true;
      const Answer a = t.ui.Ask(0, q);
      EXPECT_EQ(a.source, Answer::Source::kHeadless);
      EXPECT_FALSE(a.confirmed);
      EXPECT_EQ(t.host.monotonic.load(), 0u);
      EXPECT_EQ(t.host.out, "");
      EXPECT_EQ(t.keys.size(), 1u);
      // The same question as a script's own MessageBox: asked, or counted down; only without an
      // operator and without AutoOK declined.
      q.windowOnly = false;
      EXPECT_EQ(t.ui.Ask(0, q).source == Answer::Source::kHeadless, !interactive && !autoOk);
    }
  }
}

TEST(ConsoleUiAskTest, AnOpenPromptClosesWhenTheRunIsStopped) {
  for (bool autoOk : {false, true}) {
    SCOPED_TRACE(autoOk);
    PromptedUi t(true);
    std::atomic<bool> cancel{false};
    t.stopWhenSilent = &cancel;
    Question q = ComboQuestion();
    q.autoOk = autoOk;
    q.cancel = &cancel;
    const Answer a = t.ui.Ask(0, q);
    EXPECT_EQ(a.source, Answer::Source::kEscape);
    EXPECT_EQ(a.index, -1);
    EXPECT_EQ(t.host.monotonic.load(), 100u);
    EXPECT_TRUE(t.host.out.ends_with("\n")) << t.host.out;  // the prompt line is ended
  }
}

TEST(ChildDiskArgumentsTest, AChildSeesTheSameLab) {
  CommandLine cl =
      ParseCommandLine({"kestrune", "/sim=lab 4k.ini", "SIMDIR:\"/tmp/parent lab\","}, ParseOptions{});
  EXPECT_EQ(cl.simFolder, "/tmp/parent lab");
  EXPECT_EQ(SimLabFolder(cl, "/tmp/work"), "/tmp/parent lab");
  EXPECT_EQ(ChildDiskArguments(cl, "/tmp/work"), "\"/sim=lab 4k.ini\" \"SIMDIR:/tmp/parent lab\"");

  CommandLine plain = ParseCommandLine({"kestrune", "/sim"}, ParseOptions{});
  EXPECT_EQ(SimLabFolder(plain, "/tmp/work"), "/tmp/work/simlab");
  EXPECT_EQ(ChildDiskArguments(plain, "/tmp/work"), "/sim SIMDIR:/tmp/work/simlab");

  EXPECT_EQ(ChildDiskArguments(ParseCommandLine({"kestrune"}, ParseOptions{}), "/tmp/work"), "");
}

}  // namespace
}  // namespace kestrune::app
