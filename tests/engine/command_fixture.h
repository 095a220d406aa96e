// A view ready to run single statements through the executor, with errors counted and skipped so
// that a test can run one failing statement after another. Used by the tests of built-in commands.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/executor.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "support/fake_host.h"

namespace kestrune::engine {

class CapturedConsole final : public ConsoleSink {
 public:
  void PrintLine(std::string_view text) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

template <typename HostT = testing::FakeHost>
class CommandFixture : public ::testing::Test {
 protected:
  CommandFixture() : interp(host, Settings(dir.path()), &console) {
    View& v = interp.view(0);
    v.mainList = {BlockNode{0, BlockAction::kIfDo, 0}};
    v.subList = {BlockNode{0, BlockAction::kIfDo, 0}};
    v.vars.SetNumber("_ErrorCheck", 1);
    v.vars.SetNumber("_ErrorSkip", 1000);
    v.vars.SetNumber("_ErrorCount", 0);
    v.vars.SetText("_ErrorDesc", "");
  }

  static RunSettings Settings(const std::string& folder) {
    RunSettings s;
    s.workFolder = folder;
    return s;
  }

  // Runs one statement pass after pass, as the run thread does.
  void Run(std::string statement) {
    ExecResult r = ExecuteStatement(interp, 0, statement, false);
    while (r == ExecResult::kRewritten) r = ExecuteStatement(interp, 0, statement, true);
  }

  Value Var(std::string_view name) { return interp.view(0).vars.Get(name); }
  int64_t ErrorCount() { return Var("_ErrorCount").number; }
  // The description of the newest error report in the view's output ("" when there is none). The
  // view's last code does not serve: every pass of a statement starts it afresh.
  std::string LastError() {
    const std::string_view prefix = "[Error Desc]:  ";
    for (auto it = Lines().rbegin(); it != Lines().rend(); ++it)
      if (it->text.starts_with(prefix)) return it->text.substr(prefix.size());
    return {};
  }
  std::deque<OutputLine>& Lines() { return interp.output(0)->lines; }

  testing::TempDir dir;
  HostT host;
  CapturedConsole console;
  Interpreter interp;
};

}  // namespace kestrune::engine
