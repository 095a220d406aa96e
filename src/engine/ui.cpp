#include "engine/ui.h"

#include "engine/operator_question.h"

namespace kestrune::engine {
namespace {

Question MessageQuestion(std::string_view text, Question::Buttons buttons, const std::atomic<bool>* cancel) {
  Question q;
  q.kind = Question::Kind::kMessage;
  q.command = "MessageBox";
  q.buttons = buttons;
  q.escapeCancelsJob = false;
  q.cancel = cancel;
  q.text.assign(text);
  return q;
}

}  // namespace

Answer Ui::Ask(uint32_t, const Question& question) { return HeadlessAnswer(question); }

bool Ui::AskOkCancel(uint32_t view, std::string_view text, const std::atomic<bool>* cancel, bool autoOk,
                     bool windowOnly) {
  Question q = MessageQuestion(text, Question::Buttons::kOkCancel, cancel);
  q.autoOk = autoOk;
  q.windowOnly = windowOnly;
  const Answer a = Ask(view, q);
  return a.confirmed && a.failure == 0 && a.source != Answer::Source::kEscape;
}

bool Ui::AskYesNo(uint32_t view, std::string_view text, const std::atomic<bool>* cancel, bool autoOk,
                  bool windowOnly) {
  Question q = MessageQuestion(text, Question::Buttons::kYesNo, cancel);
  q.autoOk = autoOk;
  q.windowOnly = windowOnly;
  const Answer a = Ask(view, q);
  return a.confirmed && a.failure == 0 && a.source != Answer::Source::kEscape;
}

}  // namespace kestrune::engine
