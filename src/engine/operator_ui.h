// The operator questions of the whole process go through one OperatorUi, which wraps the form's own
// Ui: it lets one question show at a time, answers from the answer file (ANSWERS:"file") while it has
// lines, and leaves the audit line of every question in the view's output.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/ui.h"

namespace kestrune::engine {

// The answers of an unattended run: lines "Command=answer", used in order. Blank lines are skipped
// and counted.
struct AnswerFile {
  struct Line {
    uint32_t number = 0;  // 1 = the file's first line
    std::string command;
    std::string reply;
  };
  std::vector<Line> lines;

  // Reads the file; nullopt with why when it cannot be read or a line is not "Command=answer".
  static std::optional<AnswerFile> Load(const std::string& path, std::string& why);
  static std::optional<AnswerFile> Parse(std::string_view text, std::string& why);
};

class OperatorUi final : public Ui {
 public:
  // audit(view, line) writes the audit line into the view's output.
  using Audit = std::function<void(uint32_t view, std::string_view line)>;

  OperatorUi(std::shared_ptr<Ui> inner, AnswerFile answers, Audit audit);

  Answer Ask(uint32_t view, const Question& question) override;
  std::optional<std::string> ChooseFile(uint32_t view, const FileChoice& choice) override {
    return inner_->ChooseFile(view, choice);
  }
  void ShowStatus(uint32_t view, std::string_view text) override { inner_->ShowStatus(view, text); }
  void ShowProgress(uint32_t view, int64_t position, int64_t extra) override {
    inner_->ShowProgress(view, position, extra);
  }
  bool RedirectConsole(const std::string& path, bool append) override { return inner_->RedirectConsole(path, append); }

  Ui& inner() { return *inner_; }

 private:
  Answer FromFile(const Question& q, const AnswerFile::Line& line) const;

  std::shared_ptr<Ui> inner_;
  AnswerFile answers_;
  size_t next_ = 0;  // the next line of answers_ to use
  Audit audit_;
  std::mutex questionLock_;  // one question at a time in the process
};

}  // namespace kestrune::engine
