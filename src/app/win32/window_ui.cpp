// The window form's operator seam: posts the status text and progress to the main window, and shows
// the operator questions and the file choices as windows on the main window's thread, modal to it
// (window_call.h: the run thread posts and waits, it never sends to the window).
#include <windows.h>

#include <optional>
#include <string>

#include "app/win32/file_dialog.h"
#include "app/win32/question_window.h"
#include "app/win32/window_call.h"
#include "app/win32/window_messages.h"
#include "app/window_form.h"
#include "engine/operator_question.h"
#include "platform/win32/wide.h"

namespace kestrune::app {
namespace {

using platform::Widen;
using Kind = engine::Question::Kind;

class WindowUi final : public engine::Ui {
 public:
  explicit WindowUi(const platform::Host& host) : host_(host) {}

  // Without a main window there is nobody to ask (Ui::Ask's answers); a job stopped before the
  // window took the question up declines it.
  engine::Answer Ask(uint32_t view, const engine::Question& q) override {
    if (q.cancel && q.cancel->load()) return engine::DecliningAnswer(q, engine::Answer::Source::kEscape);
    std::optional<engine::Answer> answer;
    const bool shown = win32::CallOnWindowThread(
        [&](HWND owner) { answer = q.kind == Kind::kFile ? AskFile(owner, q) : win32::ShowQuestion(owner, q, host_); },
        q.cancel);
    if (shown && answer) return *answer;
    if (q.cancel && q.cancel->load()) return engine::DecliningAnswer(q, engine::Answer::Source::kEscape);
    return Ui::Ask(view, q);
  }

  std::optional<std::string> ChooseFile(uint32_t, const engine::FileChoice& choice) override {
    win32::FileDialog dialog;
    dialog.save = choice.mode == engine::FileChoice::Mode::kSave;
    dialog.mustExist = !dialog.save;
    dialog.title = Widen(choice.title);
    const std::wstring pattern = choice.extension.empty() ? L"*.*" : L"*." + Widen(choice.extension);
    dialog.filters.emplace_back(dialog.title + L" (" + pattern + L")", pattern);
    dialog.preset = Widen(choice.presetName);
    dialog.cancel = choice.cancel;
    std::optional<std::string> path;
    if (!win32::CallOnWindowThread([&](HWND owner) { path = win32::RunFileDialog(owner, dialog); }, choice.cancel))
      return std::nullopt;
    return path;
  }

  void ShowStatus(uint32_t, std::string_view text) override {
    HWND window = win32::gMainWindow.load();
    if (!window) return;
    auto* copy = new std::wstring(Widen(text));
    if (!PostMessageW(window, win32::kStatusText, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
  }

  void ShowProgress(uint32_t, int64_t position, int64_t extra) override {
    if (HWND window = win32::gMainWindow.load())
      PostMessageW(window, win32::kProgress, static_cast<WPARAM>(position), static_cast<LPARAM>(extra));
  }

  // The window form has no console of its own to move.
  bool RedirectConsole(const std::string&, bool) override { return false; }

 private:
  // FileSelectBox: the system's open dialog with the Ext filters; cancelling declines (Escape).
  static engine::Answer AskFile(HWND owner, const engine::Question& q) {
    win32::FileDialog dialog;
    for (const engine::Question::Filter& f : q.filters) dialog.filters.emplace_back(Widen(f.description), Widen(f.pattern));
    dialog.cancel = q.cancel;
    const std::optional<std::string> path = win32::RunFileDialog(owner, dialog);
    if (!path) return engine::DecliningAnswer(q, engine::Answer::Source::kEscape);
    return engine::InterpretReply(q, "\"" + *path + "\"", engine::Answer::Source::kOperator).answer;
  }

  const platform::Host& host_;
};

}  // namespace

std::shared_ptr<engine::Ui> MakeWindowUi(const platform::Host& host) { return std::make_shared<WindowUi>(host); }

}  // namespace kestrune::app
