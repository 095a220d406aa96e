// What the tests that drive an interpreter's view 0 statement by statement share: a console that
// keeps its lines, the view set up for single statements, and the run of one statement pass after
// pass as the run thread does it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/executor.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "engine/view.h"

namespace kestrune::testing {

// A console that keeps every line printed to it.
class CapturedConsole final : public engine::ConsoleSink {
 public:
  void PrintLine(std::string_view text) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

// The completion codes and descriptions the passes of one statement reported.
using PassReports = std::vector<std::pair<int32_t, std::string>>;

// Settings that only name the work folder.
inline engine::RunSettings WorkFolderSettings(const std::string& folder) {
  engine::RunSettings s;
  s.workFolder = folder;
  return s;
}

// One open block on both lists, and errors counted and skipped, so that a test can run one failing
// statement after another.
inline void ReadyForStatements(engine::View& v) {
  v.mainList = {engine::BlockNode{0, engine::BlockAction::kIfDo, 0}};
  v.subList = {engine::BlockNode{0, engine::BlockAction::kIfDo, 0}};
  v.vars.SetNumber("_ErrorCheck", 1);
  v.vars.SetNumber("_ErrorSkip", 1000);
  v.vars.SetNumber("_ErrorCount", 0);
}

// Runs one statement on view 0 pass after pass, keeping the completion code each pass reported
// (the executor clears it at the start of a pass).
inline PassReports RunStatement(engine::Interpreter& interp, std::string statement) {
  PassReports reports;
  engine::View& v = interp.view(0);
  engine::ExecResult r = engine::ExecuteStatement(interp, 0, statement, false);
  for (;;) {
    if (v.lastCode != 0) reports.emplace_back(v.lastCode, v.lastDescription);
    if (r != engine::ExecResult::kRewritten) break;
    r = engine::ExecuteStatement(interp, 0, statement, true);
  }
  return reports;
}

// The single completion code of a statement (0 when none); more than one fails the test.
inline int32_t SingleCode(const PassReports& reports) {
  EXPECT_LE(reports.size(), 1u);
  return reports.empty() ? 0 : reports.back().first;
}

// The description of the last report; "" when none.
inline std::string LastDescription(const PassReports& reports) {
  return reports.empty() ? std::string() : reports.back().second;
}

// The lines view 0 holds from index `from` on.
inline std::vector<engine::OutputLine> LinesFrom(engine::Interpreter& interp, size_t from) {
  // A delayed action of the statement may still be writing: read the store under its lock.
  engine::ViewOutput* view = interp.output(0);
  std::lock_guard<std::mutex> guard(view->lock);
  const auto& lines = view->lines;
  // The view starts afresh when it grows too long: then every line it holds is the statement's.
  if (from > lines.size()) from = 0;
  std::vector<engine::OutputLine> out;
  for (size_t i = from; i < lines.size(); ++i) out.push_back(lines[i]);
  return out;
}

}  // namespace kestrune::testing
