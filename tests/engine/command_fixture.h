// A view ready to run single statements through the executor, with errors counted and skipped so
// that a test can run one failing statement after another. Used by the tests of built-in commands.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "engine/interpreter.h"
#include "engine/view.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::engine {

template <typename HostT = testing::FakeHost>
class CommandFixture : public ::testing::Test {
 protected:
  // programPath: the program's own path as the interpreter is told it ("" leaves it unset).
  explicit CommandFixture(const std::string& programPath = {})
      : interp(host, Settings(dir.path(), programPath), &console) {
    View& v = interp.view(0);
    testing::ReadyForStatements(v);
    v.vars.SetText("_ErrorDesc", "");
  }

  static RunSettings Settings(const std::string& folder, const std::string& programPath) {
    RunSettings s = testing::WorkFolderSettings(folder);
    s.programPath = programPath;
    return s;
  }

  // Runs one statement pass after pass, as the run thread does.
  void Run(std::string statement) { testing::RunStatement(interp, std::move(statement)); }

  Value Var(std::string_view name) { return interp.view(0).vars.Get(name); }
  int64_t ErrorCount() { return Var("_ErrorCount").number; }
  // The description and the code ("0xFFFFFFFE") of the newest error report in the view's output (""
  // when there is none). The view's last code does not serve: every pass of a statement starts it
  // afresh.
  std::string LastError() { return NewestReportField("[Error Desc]:  "); }
  std::string LastErrorCode() { return NewestReportField("[Error Code]:  "); }
  std::string NewestReportField(std::string_view prefix) {
    for (auto it = Lines().rbegin(); it != Lines().rend(); ++it)
      if (it->text.starts_with(prefix)) return it->text.substr(prefix.size());
    return {};
  }
  std::deque<OutputLine>& Lines() { return interp.output(0)->lines; }

  testing::TempDir dir;
  HostT host;
  testing::CapturedConsole console;
  Interpreter interp;
};

}  // namespace kestrune::engine
