// The user-interface seam: everything a run shows to, or asks of, the operator beyond its output
// lines: the choice of a file, the operator questions (the dialog commands MessageBox, ComboBox,
// NumberBox, CheckListBox, InputBox and FileSelectBox, and the yes/no and OK/Cancel questions of
// other commands, all through Ask), the status text with its progress, and where the console output
// goes.
//
// Implementations: UnattendedUi below (nobody to ask: every choice is cancelled; the default of an
// Interpreter), app::ConsoleUi (the console form: prompts on the terminal), and scripted answers in
// tests (tests/support/scripted_ui.h). The window form brings its own. Start-up wraps the form's Ui
// in engine::OperatorUi (answer file, one question at a time, the audit line of every question).
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
#include <vector>

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

// An operator question, as portable as the answer it wants: what to show and which answers count.
struct Question {
  enum class Kind { kMessage, kCombo, kNumber, kCheckList, kInput, kFile };
  enum class Buttons { kOkCancel, kYesNo, kOk };
  enum class Icon { kQuestion, kWarning, kError, kInformation };
  struct Item {
    std::string text;
    bool marked = false;  // combo: the preselected item; check list: checked at the start
    bool operator==(const Item&) const = default;
  };
  struct Filter {
    std::string pattern;      // "*.bin"
    std::string description;  // "All FW"; the pattern when none was given
    bool operator==(const Filter&) const = default;
  };

  Kind kind = Kind::kMessage;
  std::string command;  // the script command that asks ("MessageBox"): the key of answer-file lines
  std::string title;    // the window's caption
  std::string text;     // the question itself; lines separated by "\n" (or "\r\n")
  Buttons buttons = Buttons::kOkCancel;
  Icon icon = Icon::kQuestion;
  std::vector<Item> items;     // combo and check list
  bool autoOk = false;         // the default button presses itself after a countdown from 20
  // The program's own box, shown only in its window: where no window can show it (the console
  // form, Style 31, nobody to ask) it is declined at once, whatever autoOk says.
  bool windowOnly = false;
  std::string initial;         // number: the default number; input: the text the field starts with
  size_t maxChars = 0;         // number: longest text accepted (0 = any)
  std::string specialKey;      // input: the prefix an accepted text begins with (any case); "" = any
  int32_t lengthLimit = 0;     // input: the length an accepted text has; 0 = any
  std::vector<Filter> filters; // file
  // Escape (or closing the window) stops the job: the caller then sets the view's cancel flag.
  bool escapeCancelsJob = true;
  // The view's cancel flag. Once it turns true the question closes (an Escape answer). May be null.
  const std::atomic<bool>* cancel = nullptr;
};

// The answer to a Question, with where it came from.
struct Answer {
  enum class Source { kOperator, kAnswerFile, kCountdown, kDefault, kEscape, kHeadless };
  Source source = Source::kHeadless;
  uint32_t answerLine = 0;  // kAnswerFile: the line of the answer file (1 = first)
  bool confirmed = false;   // message: OK or Yes; other kinds: an answer was accepted (not declined)
  int32_t index = -1;       // combo: the chosen item (0-based); -1 when declined
  std::vector<bool> checks; // check list: the state of every item
  std::string text;         // number, input: the text accepted; file: the path chosen
  // Nonzero when the answer could not be taken (an answer-file line for another command, a scan
  // the rules reject): the completion code to report and what to say. The rest is then declining.
  int32_t failure = 0;
  std::string failureText;
};

class Ui {
 public:
  virtual ~Ui() = default;

  // Asks the operator the question and waits for the answer. Every path gives an answer: Escape,
  // closing, or question.cancel turning true give declining with source kEscape; nobody to ask gives
  // the countdown's answer when question.autoOk is set, else declining, with source kHeadless.
  // Implementations take care that only one question shows at a time. Thread-safe. The default has
  // nobody to ask.
  virtual Answer Ask(uint32_t view, const Question& question);

  // A message box with OK and Cancel (text lines separated by "\r\n" or "\n"), through Ask: true
  // for OK; false for Cancel, Escape, when nobody can answer, or once cancel turns true. Without
  // autoOk it has no countdown; with it OK presses itself after the countdown (also when nobody
  // can answer, unless windowOnly: see Question). It never stops the job itself.
  bool AskOkCancel(uint32_t view, std::string_view text, const std::atomic<bool>* cancel, bool autoOk = false,
                   bool windowOnly = false);
  // The same with Yes and No: true for Yes. With autoOk the Yes button presses itself after the
  // countdown (also when nobody can answer, unless windowOnly). In an answer file both are
  // MessageBox lines.
  bool AskYesNo(uint32_t view, std::string_view text, const std::atomic<bool>* cancel, bool autoOk = false,
                bool windowOnly = false);

  // Asks the operator to choose a file. Returns the path chosen (as typed or picked; the caller
  // decides how a relative name is resolved), or nullopt when the choice is cancelled: the operator
  // declined, nobody can answer, or choice.cancel turned true. Blocks until then. Thread-safe.
  virtual std::optional<std::string> ChooseFile(uint32_t view, const FileChoice& choice) = 0;

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
