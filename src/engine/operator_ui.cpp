#include "engine/operator_ui.h"

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/operator_question.h"
#include "platform/files.h"

namespace kestrune::engine {

namespace code = base::code;
using base::Format;

std::optional<AnswerFile> AnswerFile::Parse(std::string_view text, std::string& why) {
  AnswerFile file;
  uint32_t number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    if (base::Trim(line).empty()) continue;
    const size_t eq = line.find('=');
    std::string_view command = eq == std::string_view::npos ? std::string_view() : base::Trim(line.substr(0, eq));
    if (command.empty()) {
      why = Format("line %u is not Command=answer: %.*s", number, static_cast<int>(line.size()), line.data());
      return std::nullopt;
    }
    // The answer is kept as written: blanks may belong to a scanned text.
    file.lines.push_back({number, std::string(command), std::string(line.substr(eq + 1))});
  }
  return file;
}

std::optional<AnswerFile> AnswerFile::Load(const std::string& path, std::string& why) {
  std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(path);
  if (!bytes) {
    why = "cannot read the answer file " + path;
    return std::nullopt;
  }
  std::string lineWhy;
  std::optional<AnswerFile> file =
      Parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), lineWhy);
  if (!file) why = "the answer file " + path + ": " + lineWhy;
  return file;
}

OperatorUi::OperatorUi(std::shared_ptr<Ui> inner, AnswerFile answers, Audit audit)
    : inner_(std::move(inner)), answers_(std::move(answers)), audit_(std::move(audit)) {}

Answer OperatorUi::FromFile(const Question& q, const AnswerFile::Line& line) const {
  Answer declined = DecliningAnswer(q, Answer::Source::kAnswerFile);
  declined.answerLine = line.number;
  if (!base::EqualsNoCase(line.command, q.command)) {
    declined.failure = code::kBadParameter;
    declined.failureText = Format("Answer file line %u is for %s, not %s", line.number, line.command.c_str(),
                                  q.command.c_str());
    return declined;
  }
  Reply reply = InterpretReply(q, line.reply, Answer::Source::kAnswerFile);
  if (reply.outcome == Reply::Outcome::kAgain) {
    declined.failure = reply.rejectedScan ? code::kAutoBarcodeError : code::kBadParameter;
    declined.failureText = Format("Answer file line %u: %s", line.number, reply.why.c_str());
    return declined;
  }
  reply.answer.answerLine = line.number;
  if (reply.outcome == Reply::Outcome::kAnswer) reply.answer.source = Answer::Source::kAnswerFile;
  return reply.answer;
}

Answer OperatorUi::Ask(uint32_t view, const Question& question) {
  Answer answer;
  {
    std::lock_guard<std::mutex> guard(questionLock_);
    if (next_ < answers_.lines.size())
      answer = FromFile(question, answers_.lines[next_++]);
    else
      answer = inner_->Ask(view, question);
  }
  if (audit_) audit_(view, AuditLine(question, answer));
  return answer;
}

}  // namespace kestrune::engine
