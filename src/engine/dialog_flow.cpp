#include "engine/dialog_flow.h"

#include <algorithm>

#include "base/text.h"

namespace kestrune::engine {

using Kind = Question::Kind;
using Source = Answer::Source;

DialogFlow::DialogFlow(const Question& q, const platform::Host& host) : q_(q) {
  // The window puts the initial text into its field: from then on the field alone is the reply.
  if (q_.kind == Kind::kInput) q_.initial.clear();
  if (q_.autoOk) countdown_.emplace(host);
}

std::string DialogFlow::DefaultCaption() const {
  return DefaultButtonCaption(q_, countdown_ ? std::max(countdown_->SecondsLeft(), 1) : 0);
}

uint32_t DialogFlow::WaitMs() const {
  if (!countdown_) return kPollMs;
  return std::clamp<uint32_t>(countdown_->MsToNextChange(), 1, kPollMs);
}

bool DialogFlow::Poll(const DialogState& state) {
  if (done()) return true;
  if (q_.cancel && q_.cancel->load()) {
    answer_ = DecliningAnswer(q_, Source::kEscape);
    return true;
  }
  if (countdown_ && countdown_->Expired()) return Take(true, state, Source::kCountdown);
  return false;
}

bool DialogFlow::Press(bool first, const DialogState& state) {
  if (done()) return true;
  return Take(first, state, Source::kOperator);
}

void DialogFlow::Escape() {
  if (!done()) answer_ = DecliningAnswer(q_, Source::kEscape);
}

bool DialogFlow::Take(bool first, const DialogState& state, Source source) {
  why_.clear();
  clearField_ = false;
  Answer a = DefaultAnswer(q_, source);
  switch (q_.kind) {
    case Kind::kMessage: a.confirmed = first; break;
    case Kind::kCombo:
      if (state.index >= 0 && static_cast<size_t>(state.index) < q_.items.size()) a.index = state.index;
      break;
    case Kind::kCheckList:
      if (state.checks.size() == q_.items.size()) a.checks = state.checks;
      break;
    case Kind::kNumber:
    case Kind::kInput: {
      // An empty number field is no number: the prompt's "empty takes the default" does not apply
      // to a field that showed the default ("-" is refused as a number is).
      const bool emptyNumber = q_.kind == Kind::kNumber && base::Trim(state.field, true).empty();
      const Reply reply = InterpretReply(q_, emptyNumber ? std::string_view("-") : state.field, source);
      if (reply.outcome != Reply::Outcome::kAnswer) {
        why_ = reply.why;
        clearField_ = reply.rejectedScan;
        ++refusals_;
        countdown_.reset();
        return false;
      }
      a = reply.answer;
      a.source = source;
      break;
    }
    case Kind::kFile: break;
  }
  answer_ = std::move(a);
  return true;
}

}  // namespace kestrune::engine
