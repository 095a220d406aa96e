// What an operator dialog window decides while it shows a question, apart from drawing it: the
// default button's caption with the AutoOK countdown, how long the window may wait before it looks
// again, and the answer of each event (a button, Enter in a field, Escape or closing, the end of the
// countdown, the view's cancel flag). The window reads its controls into a DialogState and hands
// them over; a reply that does not fit (not a number, a scan the InputBox rules reject) leaves the
// question open with the reason to show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/operator_question.h"
#include "engine/ui.h"
#include "platform/host.h"

namespace kestrune::engine {

// The controls of a dialog window as they are.
struct DialogState {
  int32_t index = -1;        // combo: the current selection
  std::vector<bool> checks;  // check list: the state of every item
  std::string field;         // number, input: the field's text
};

class DialogFlow {
 public:
  // The longest wait between two looks at the cancel flag.
  static constexpr uint32_t kPollMs = 250;

  // q must not be a file question (the system's file dialog answers those). host gives the
  // countdown's clock and must outlive this object.
  DialogFlow(const Question& q, const platform::Host& host);

  // The default button's caption now: "OK (17)" or "Yes (17)" while the countdown runs, else "OK".
  std::string DefaultCaption() const;
  // Milliseconds until the window must call Poll again: the countdown's next change or kPollMs.
  uint32_t WaitMs() const;

  // Looks at the cancel flag (once set: the Escape answer) and the countdown (at its end: the
  // default button pressed with the controls as they are). True once the answer is decided.
  bool Poll(const DialogState& state);
  // The operator pressed a button (first: OK or Yes; else Cancel or No), or Enter in the field.
  // True once the answer is decided; false when the reply does not fit: why() says why, and the
  // countdown stops (the operator answers from now on).
  bool Press(bool first, const DialogState& state);
  // Escape, or the window closed: declining, and the job stops when the question says so.
  void Escape();

  bool done() const { return answer_.has_value(); }
  const Answer& answer() const { return *answer_; }
  // Why the last reply did not fit; "" when none was refused.
  const std::string& why() const { return why_; }
  // The refused reply was a scan: the field is cleared for the next one.
  bool clearField() const { return clearField_; }
  // How many replies were refused so far: a window shows why() again when this grows.
  uint32_t refusals() const { return refusals_; }

 private:
  bool Take(bool first, const DialogState& state, Answer::Source source);

  Question q_;
  std::optional<Countdown> countdown_;
  std::optional<Answer> answer_;
  std::string why_;
  bool clearField_ = false;
  uint32_t refusals_ = 0;
};

}  // namespace kestrune::engine
