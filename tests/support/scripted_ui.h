// A Ui for tests: file choices and operator questions are answered from lists written up front (an
// empty list answers "cancelled", or as nobody would), and everything else the run shows is recorded.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/ui.h"

namespace kestrune::testing {

class ScriptedUi final : public engine::Ui {
 public:
  struct Asked {
    uint32_t view;
    engine::FileChoice choice;
  };
  struct Redirect {
    std::string path;
    bool append;
    bool operator==(const Redirect&) const = default;
  };

  // Answers given in order; nullopt answers "cancelled".
  std::deque<std::optional<std::string>> answers;
  bool redirectWorks = true;  // what RedirectConsole returns
  // OK (true) or Cancel (false) answers to AskOkCancel, in order; onQuestion runs before each answer
  // (a test pulls or power-cycles a drive there, as the operator would).
  std::deque<bool> okAnswers;
  std::function<void(std::string_view text)> onQuestion;
  std::vector<std::string> questions;
  std::deque<engine::Answer> replies;  // answers to the other questions, in order
  std::vector<engine::Question> asks;  // every question asked

  std::vector<Asked> asked;
  std::vector<std::string> statuses;
  std::vector<std::pair<int64_t, int64_t>> progress;
  std::vector<Redirect> redirects;

  std::optional<std::string> ChooseFile(uint32_t view, const engine::FileChoice& choice) override {
    std::lock_guard<std::mutex> guard(mutex_);
    asked.push_back({view, choice});
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(answers.front());
    answers.pop_front();
    return answer;
  }
  // Answers questions: a message question (OK/Cancel, Yes/No) takes the next of okAnswers while
  // there are any, every other question the next of replies; without one it is asked of nobody (the
  // countdown's answer with AutoOK, else declining).
  engine::Answer Ask(uint32_t, const engine::Question& q) override {
    std::function<void(std::string_view)> hook;
    engine::Answer answer = engine::Ui::Ask(0, q);
    {
      std::lock_guard<std::mutex> guard(mutex_);
      questions.emplace_back(q.text);
      asks.push_back(q);
      hook = onQuestion;
      if (q.kind == engine::Question::Kind::kMessage && !okAnswers.empty()) {
        answer.confirmed = okAnswers.front();
        answer.source = engine::Answer::Source::kOperator;
        okAnswers.pop_front();
      } else if (!replies.empty()) {
        answer = std::move(replies.front());
        replies.pop_front();
      }
    }
    if (hook) hook(q.text);
    return answer;
  }
  void ShowStatus(uint32_t, std::string_view text) override {
    std::lock_guard<std::mutex> guard(mutex_);
    statuses.emplace_back(text);
  }
  void ShowProgress(uint32_t, int64_t position, int64_t extra) override {
    std::lock_guard<std::mutex> guard(mutex_);
    progress.emplace_back(position, extra);
  }
  bool RedirectConsole(const std::string& path, bool append) override {
    std::lock_guard<std::mutex> guard(mutex_);
    redirects.push_back({path, append});
    return redirectWorks;
  }

 private:
  std::mutex mutex_;
};

}  // namespace kestrune::testing
