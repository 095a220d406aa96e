// The user-interface seam: everything a run shows to, or asks of, the operator beyond its output
// lines. Today that is the choice of a file, the status text with its progress, and where the console
// output goes; the operator dialogs (MessageBox, ComboBox, ...) and the disk selection dialog join it
// with their commands.
//
// Implementations: UnattendedUi below (nobody to ask: every choice is cancelled; the default of an
// Interpreter), app::ConsoleUi (the console form: prompts on the terminal), and scripted answers in
// tests (tests/support/scripted_ui.h). The window form brings its own.
//
// Every method may be called from the run thread of any view; calls for different views may come at
// the same time. Methods that ask the operator block their caller until the answer comes, and take
// care themselves that two questions never show at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::engine {

// A question for a file: to read one (open) or to write one (save).
struct FileChoice {
  enum class Mode { kOpen, kSave };
  Mode mode = Mode::kOpen;
  std::string title;       // what the file is for: "ini File", "Script File", ...
  std::string extension;   // the filter's extension without a dot ("ini"); empty = any file
  std::string presetName;  // the name offered before the operator types one; may be empty
  // The view's cancel flag. Once it turns true the question gives up and counts as cancelled.
  // May be null (the question then waits for its answer).
  const std::atomic<bool>* cancel = nullptr;

  static FileChoice Open(std::string title, std::string extension) {
    FileChoice c;
    c.title = std::move(title);
    c.extension = std::move(extension);
    return c;
  }
  static FileChoice Save(std::string title, std::string extension) {
    FileChoice c = Open(std::move(title), std::move(extension));
    c.mode = Mode::kSave;
    return c;
  }
};

class Ui {
 public:
  virtual ~Ui() = default;

  // Asks the operator to choose a file. Returns the path chosen (as typed or picked; the caller
  // decides how a relative name is resolved), or nullopt when the choice is cancelled: the operator
  // declined, nobody can answer, or choice.cancel turned true. Blocks until then. Thread-safe.
  virtual std::optional<std::string> ChooseFile(uint32_t view, const FileChoice& choice) = 0;

  // Shows text (lines separated by "\r\n") in a message box with OK and Cancel and waits for the
  // answer: true for OK; false for Cancel, when nobody can answer, or once cancel (the view's cancel
  // flag; may be null) turns true. Thread-safe. Without an implementation nobody answers.
  virtual bool AskOkCancel(uint32_t view, std::string_view text, const std::atomic<bool>* cancel) {
    static_cast<void>(view);
    static_cast<void>(text);
    static_cast<void>(cancel);
    return false;
  }

  // Shows text as the view's status text (window: the status line and its history; console: a
  // transient status line). Does not block. Thread-safe.
  virtual void ShowStatus(uint32_t view, std::string_view text) = 0;

  // Shows the progress of the view's running command: position and a second value that the script
  // gave with it (window: the progress bar). Does not block. Thread-safe.
  virtual void ShowProgress(uint32_t view, int64_t position, int64_t extra) = 0;

  // Sends the console output from now on to the file path: appended to it when append is true,
  // else the file is emptied first; an empty path sends it back to the console. Returns false, with
  // the output left where it was, when the file cannot be opened or this user interface has no
  // console. Affects the whole process. Thread-safe.
  virtual bool RedirectConsole(const std::string& path, bool append) = 0;
};

// No operator: every file choice and every question is cancelled (a cancelled file choice cancels
// the run), status and progress are dropped, and there is no console to redirect.
class UnattendedUi final : public Ui {
 public:
  std::optional<std::string> ChooseFile(uint32_t, const FileChoice&) override { return std::nullopt; }
  void ShowStatus(uint32_t, std::string_view) override {}
  void ShowProgress(uint32_t, int64_t, int64_t) override {}
  bool RedirectConsole(const std::string&, bool) override { return false; }
};

}  // namespace kestrune::engine
