#include "app/console_ui.h"

#include <algorithm>

#include "base/text.h"
#include "engine/operator_question.h"
#include "platform/terminal.h"

namespace kestrune::app {

std::string FileChoicePrompt(const engine::FileChoice& choice) {
  std::string prompt = choice.title.empty() ? std::string("File") : choice.title;
  prompt += choice.mode == engine::FileChoice::Mode::kSave ? " to save" : " to open";
  prompt += " (*." + (choice.extension.empty() ? std::string("*") : choice.extension) + ")";
  if (!choice.presetName.empty()) prompt += " [" + choice.presetName + "]";
  return prompt + ": ";
}

std::string QuestionBody(const engine::Question& q) {
  using Kind = engine::Question::Kind;
  std::string body;
  if (!q.text.empty()) body = q.text + "\n";
  for (size_t i = 0; i < q.items.size(); ++i) {
    if (q.kind == Kind::kCombo) body += base::Format("  %zu. %s\n", i + 1, q.items[i].text.c_str());
    if (q.kind == Kind::kCheckList)
      body += base::Format("  %zu [%c] %s\n", i + 1, q.items[i].marked ? 'x' : ' ', q.items[i].text.c_str());
  }
  if (q.kind == Kind::kInput) {
    if (!q.specialKey.empty()) body += base::Format("Special Key : \"%s\"\n", q.specialKey.c_str());
    if (q.lengthLimit > 0) body += base::Format("Lenth Limit : %d\n", q.lengthLimit);
  }
  if (q.kind == Kind::kFile)
    for (const engine::Question::Filter& f : q.filters)
      body += base::Format("  %s (%s)\n", f.description.c_str(), f.pattern.c_str());
  return body;
}

std::string QuestionPrompt(const engine::Question& q, const engine::Answer& current, int secondsLeft) {
  using Kind = engine::Question::Kind;
  using Buttons = engine::Question::Buttons;
  const std::string button = engine::DefaultButtonCaption(q, secondsLeft);
  const std::string counting = secondsLeft > 0 ? " " + button : std::string();
  switch (q.kind) {
    case Kind::kMessage:
      if (q.buttons == Buttons::kOk) return "[" + button + "]: ";
      return "[" + button + (q.buttons == Buttons::kYesNo ? "/No]: " : "/Cancel]: ");
    case Kind::kCombo:
      return base::Format("Item 1-%zu [%d]%s: ", q.items.size(), current.index + 1, counting.c_str());
    case Kind::kNumber: return "Number [" + q.initial + "]" + counting + ": ";
    case Kind::kCheckList: {
      std::string marks;
      for (size_t i = 0; i < current.checks.size(); ++i)
        if (current.checks[i]) marks += (marks.empty() ? "" : ",") + std::to_string(i + 1);
      return base::Format("Check 1-%zu, all or none [%s]%s: ", q.items.size(), marks.empty() ? "none" : marks.c_str(),
                          counting.c_str());
    }
    case Kind::kInput: return q.initial.empty() ? std::string("Text: ") : "Text [" + q.initial + "]: ";
    case Kind::kFile: {
      std::string patterns;
      for (const engine::Question::Filter& f : q.filters) patterns += (patterns.empty() ? "" : " ") + f.pattern;
      return "File to open (" + patterns + "): ";
    }
  }
  return ": ";
}

ConsoleUi::ConsoleUi(Console& console, bool interactive, LineReader readLine, Redirector redirect,
                     platform::Host& host, PromptOpener openPrompt)
    : console_(console),
      interactive_(interactive),
      readLine_(std::move(readLine)),
      redirect_(std::move(redirect)),
      openPrompt_(std::move(openPrompt)),
      host_(host) {}

std::optional<std::string> ConsoleUi::ChooseFile(uint32_t, const engine::FileChoice& choice) {
  if (!interactive_) return std::nullopt;
  std::lock_guard<std::mutex> guard(questionLock_);
  if (choice.cancel && choice.cancel->load()) return std::nullopt;
  console_.Print(FileChoicePrompt(choice));
  std::optional<std::string> line = readLine_(choice.cancel);
  if (!line) {
    console_.Print("\n");
    return std::nullopt;
  }
  std::string answer(base::Trim(*line, true));
  if (answer.size() >= 2 && answer.front() == '"' && answer.back() == '"')
    answer = answer.substr(1, answer.size() - 2);
  if (answer.empty()) answer = choice.presetName;
  if (answer.empty()) return std::nullopt;
  return answer;
}

engine::Answer ConsoleUi::Ask(uint32_t, const engine::Question& question) {
  using engine::Answer;
  using Event = platform::PromptEvent::Kind;
  const std::atomic<bool>* cancel = question.cancel;
  auto cancelled = [cancel] { return cancel && cancel->load(); };
  // The program's own box needs the window: the console form declines it without a prompt.
  if (question.windowOnly) return engine::HeadlessAnswer(question);
  if (!interactive_) {
    // Nobody at the terminal: an AutoOK question still counts down (a run resumed without a
    // console confirms itself), anything else is declined at once.
    if (!question.autoOk) return engine::HeadlessAnswer(question);
    engine::Countdown countdown(host_);
    while (!countdown.Expired()) {
      if (cancelled()) return engine::DecliningAnswer(question, Answer::Source::kEscape);
      host_.SleepMs(std::min<uint32_t>(countdown.MsToNextChange(), 250));
    }
    return engine::DefaultAnswer(question, Answer::Source::kCountdown);
  }

  std::lock_guard<std::mutex> guard(questionLock_);
  if (cancelled()) return engine::DecliningAnswer(question, Answer::Source::kEscape);
  engine::Question q = question;
  console_.Print(QuestionBody(q));
  std::unique_ptr<platform::PromptReader> reader = openPrompt_();
  std::optional<engine::Countdown> countdown;
  if (q.autoOk) countdown.emplace(host_);
  bool inputEnded = false;
  for (;;) {
    // The prompt: on the status line while it counts down, else printed once per attempt.
    const Answer current = engine::DefaultAnswer(q, Answer::Source::kDefault);
    bool onStatusLine = false;
    int shown = -1;
    if (!countdown) console_.Print(QuestionPrompt(q, current, 0));
    platform::PromptEvent event;
    for (;;) {
      if (countdown && reader->Typing() && !inputEnded) countdown.reset();  // a key stops the countdown
      if (countdown) {
        const int left = countdown->SecondsLeft();
        if (left == 0) {
          console_.Print("");  // ends the status line
          return engine::DefaultAnswer(q, Answer::Source::kCountdown);
        }
        if (left != shown) {
          console_.StatusLine(QuestionPrompt(q, current, left));
          onStatusLine = true;
          shown = left;
        }
      }
      if (cancelled()) {
        console_.Print(onStatusLine ? "" : "\n");
        return engine::DecliningAnswer(q, Answer::Source::kEscape);
      }
      if (inputEnded) {  // only with a countdown: it runs on without input
        host_.SleepMs(std::min<uint32_t>(countdown->MsToNextChange(), 250));
        continue;
      }
      event = reader->Read(countdown ? countdown->MsToNextChange() : platform::PromptReader::kForever, cancel);
      if (event.kind == Event::kTimeout) continue;
      // With AutoOK neither Escape nor the end of the input stops the question: a station without an
      // operator (or with a closed input) still confirms it when the countdown ends.
      if (event.kind == Event::kEscape && countdown) continue;
      if (event.kind == Event::kEnd && countdown) {
        inputEnded = true;
        continue;
      }
      break;
    }
    console_.Print(onStatusLine ? "" : "\n");
    if (event.kind != Event::kLine) return engine::DecliningAnswer(q, Answer::Source::kEscape);
    engine::Reply reply = engine::InterpretReply(q, event.line, Answer::Source::kOperator);
    if (reply.outcome != engine::Reply::Outcome::kAgain) return reply.answer;
    console_.Print(reply.why + ", again\n");
    if (reply.rejectedScan) q.initial.clear();  // the field is cleared for the next scan
    countdown.reset();
  }
}

void ConsoleUi::ShowStatus(uint32_t, std::string_view text) {
  if (interactive_) console_.StatusLine(text);
}

std::shared_ptr<engine::Ui> MakeConsoleUi(Console& console, int uiMode, platform::Host& host) {
  const bool interactive = uiMode != 1 && uiMode != 3 && platform::OperatorAtTerminal();
  return std::make_shared<ConsoleUi>(console, interactive, platform::ReadStandardInputLine,
                                     platform::RedirectStandardOutput, host, platform::OpenPromptReader);
}

}  // namespace kestrune::app
