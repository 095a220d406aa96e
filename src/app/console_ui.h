// The operator seam of the console form. With an operator at the terminal, a file choice and every
// operator question are prompts on the console answered on standard input (key by key: Escape answers
// at once), and the status text is the console's transient status line. Without one (standard input
// or output is no terminal, or UI mode 1 or 3), every file choice is cancelled, which cancels the
// run, a question with AutoOK waits for its countdown and takes the default button, and a question
// without it is declined; no status line is shown. Either way ConsoleOut moves the process's standard
// output.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/console.h"
#include "engine/ui.h"
#include "platform/host.h"
#include "platform/terminal.h"

namespace kestrune::app {

class ConsoleUi final : public engine::Ui {
 public:
  // Reads one line typed by the operator; nullopt at the end of the input or once cancel is true.
  using LineReader = std::function<std::optional<std::string>(const std::atomic<bool>* cancel)>;
  // Moves standard output (platform::RedirectStandardOutput's contract).
  using Redirector = std::function<bool(const std::string& path, bool append)>;

  // Opens the reader of one question's reply (platform::OpenPromptReader's contract).
  using PromptOpener = std::function<std::unique_ptr<platform::PromptReader>()>;

  // interactive: an operator answers at the terminal. console and host (the countdown's clock) must
  // outlive this object.
  ConsoleUi(Console& console, bool interactive, LineReader readLine, Redirector redirect, platform::Host& host,
            PromptOpener openPrompt = platform::OpenPromptReader);

  // Interactive: prints "<title> to open|to save (*.ext) [preset]: " and reads the answer. An empty
  // answer takes the preset (cancelled when there is none); a path in double quotes loses them; the
  // end of the input cancels. One question at a time.
  std::optional<std::string> ChooseFile(uint32_t view, const engine::FileChoice& choice) override;
  // Interactive: prints the question (its text, numbered items, the InputBox rules), then a prompt
  // with the default in brackets; with AutoOK the prompt is the status line and counts the default
  // button down ("[OK (17)/Cancel]: ") until a key is typed. A reply that does not fit (an unknown
  // item, "abc" for a number, a scan the rules reject) says why and asks again. Without AutoOK, Escape
  // and the end of the input decline (source kEscape); with it they are ignored and the countdown runs
  // on. Not interactive: see the class comment.
  engine::Answer Ask(uint32_t view, const engine::Question& question) override;
  void ShowStatus(uint32_t view, std::string_view text) override;
  void ShowProgress(uint32_t view, int64_t position, int64_t extra) override {}
  bool RedirectConsole(const std::string& path, bool append) override { return redirect_(path, append); }

  bool interactive() const { return interactive_; }

 private:
  Console& console_;
  const bool interactive_;
  LineReader readLine_;
  Redirector redirect_;
  PromptOpener openPrompt_;
  platform::Host& host_;
  std::mutex questionLock_;
};

// The prompt text of a file choice.
std::string FileChoicePrompt(const engine::FileChoice& choice);

// What the console shows of a question before its prompt: the text, the items, the rules, one line each.
std::string QuestionBody(const engine::Question& q);
// The prompt line of a question; secondsLeft > 0 adds the countdown to the default button.
std::string QuestionPrompt(const engine::Question& q, const engine::Answer& current, int secondsLeft);

// The console form's Ui for the UI mode of the command line: interactive unless the mode is 1 or 3
// or standard input or output is no terminal (a prompt nobody sees is no question: output captured
// by a test harness or a log makes the run unattended); reads standard input and moves standard
// output of the process.
std::shared_ptr<engine::Ui> MakeConsoleUi(Console& console, int uiMode, platform::Host& host);

}  // namespace kestrune::app
