// The operator seam of the console form. With an operator at the terminal, a file choice is a
// prompt on the console answered on standard input, and the status text is the console's transient
// status line. Without one (standard input or output is no terminal, or UI mode 1 or 3), every choice is
// cancelled, which cancels the run, and no status line is shown. Either way ConsoleOut moves the
// process's standard output.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/console.h"
#include "engine/ui.h"

namespace kestrune::app {

class ConsoleUi final : public engine::Ui {
 public:
  // Reads one line typed by the operator; nullopt at the end of the input or once cancel is true.
  using LineReader = std::function<std::optional<std::string>(const std::atomic<bool>* cancel)>;
  // Moves standard output (platform::RedirectStandardOutput's contract).
  using Redirector = std::function<bool(const std::string& path, bool append)>;

  // interactive: an operator answers at the terminal. console must outlive this object.
  ConsoleUi(Console& console, bool interactive, LineReader readLine, Redirector redirect);

  // Interactive: prints "<title> to open|to save (*.ext) [preset]: " and reads the answer. An empty
  // answer takes the preset (cancelled when there is none); a path in double quotes loses them; the
  // end of the input cancels. One question at a time.
  std::optional<std::string> ChooseFile(uint32_t view, const engine::FileChoice& choice) override;
  // Interactive: prints the text, then "[OK/Cancel]: ", and reads the answer; "OK" (any case) or an
  // empty answer is OK, anything else and the end of the input cancel.
  bool AskOkCancel(uint32_t view, std::string_view text, const std::atomic<bool>* cancel) override;
  void ShowStatus(uint32_t view, std::string_view text) override;
  void ShowProgress(uint32_t view, int64_t position, int64_t extra) override {}
  bool RedirectConsole(const std::string& path, bool append) override { return redirect_(path, append); }

  bool interactive() const { return interactive_; }

 private:
  Console& console_;
  const bool interactive_;
  LineReader readLine_;
  Redirector redirect_;
  std::mutex questionLock_;
};

// The prompt text of a file choice.
std::string FileChoicePrompt(const engine::FileChoice& choice);

// The console form's Ui for the UI mode of the command line: interactive unless the mode is 1 or 3
// or standard input or output is no terminal (a prompt nobody sees is no question: output captured
// by a test harness or a log makes the run unattended); reads standard input and moves standard
// output of the process.
std::shared_ptr<engine::Ui> MakeConsoleUi(Console& console, int uiMode);

}  // namespace kestrune::app
