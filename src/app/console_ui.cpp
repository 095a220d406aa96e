#include "app/console_ui.h"

#include "base/text.h"
#include "platform/terminal.h"

namespace kestrune::app {

std::string FileChoicePrompt(const engine::FileChoice& choice) {
  std::string prompt = choice.title.empty() ? std::string("File") : choice.title;
  prompt += choice.mode == engine::FileChoice::Mode::kSave ? " to save" : " to open";
  prompt += " (*." + (choice.extension.empty() ? std::string("*") : choice.extension) + ")";
  if (!choice.presetName.empty()) prompt += " [" + choice.presetName + "]";
  return prompt + ": ";
}

ConsoleUi::ConsoleUi(Console& console, bool interactive, LineReader readLine, Redirector redirect)
    : console_(console),
      interactive_(interactive),
      readLine_(std::move(readLine)),
      redirect_(std::move(redirect)) {}

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

bool ConsoleUi::AskOkCancel(uint32_t, std::string_view text, const std::atomic<bool>* cancel) {
  if (!interactive_) return false;
  std::lock_guard<std::mutex> guard(questionLock_);
  if (cancel && cancel->load()) return false;
  std::string shown(text);
  for (size_t at = shown.find("\r\n"); at != std::string::npos; at = shown.find("\r\n", at + 1))
    shown.replace(at, 2, "\n");
  console_.Print(shown + " [OK/Cancel]: ");
  std::optional<std::string> line = readLine_(cancel);
  if (!line) {
    console_.Print("\n");
    return false;
  }
  const std::string answer(base::Trim(*line, true));
  return answer.empty() || base::EqualsNoCase(answer, "OK");
}

void ConsoleUi::ShowStatus(uint32_t, std::string_view text) {
  if (interactive_) console_.StatusLine(text);
}

std::shared_ptr<engine::Ui> MakeConsoleUi(Console& console, int uiMode) {
  const bool interactive = uiMode != 1 && uiMode != 3 && platform::OperatorAtTerminal();
  return std::make_shared<ConsoleUi>(console, interactive, platform::ReadStandardInputLine,
                                     platform::RedirectStandardOutput);
}

}  // namespace kestrune::app
