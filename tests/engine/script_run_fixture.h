// Runs whole scripts through Interpreter::RunScriptText in a private folder tree, capturing the
// console copy of every output line. Used by the tests of the parameter and file commands.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/files.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::engine {

// Folders: <tmp>/work (work and log folder), <tmp>/bin (the program), <tmp>/scripts (the script).
template <typename HostT = testing::FakeHost>
class ScriptRunFixture : public ::testing::Test {
 protected:
  ScriptRunFixture() {
    work = platform::JoinPath(dir.path(), "work");
    scripts = platform::JoinPath(dir.path(), "scripts");
    host.CreateFolders(work);
    host.CreateFolders(scripts);
    settings.workFolder = work;
    settings.programFolder = platform::JoinPath(dir.path(), "bin");
    settings.programPath = platform::JoinPath(settings.programFolder, "kestrune.exe");
  }

  // Runs script (statements; line ends are blanks) and returns the console lines it printed.
  const std::vector<std::string>& Run(const std::string& script) {
    interp.reset();
    console.lines.clear();
    interp.emplace(host, settings, &console);
    interp->RunScriptText(0, script, platform::JoinPath(scripts, "test.scpt"));
    return console.lines;
  }

  int32_t LastCode() { return interp->LastCompletionCode(0); }
  bool Cancelled() { return interp->view(0).cancel.load(); }

  std::string Work(std::string_view name) { return platform::JoinPath(work, name); }
  std::string Read(const std::string& path) {
    auto bytes = platform::ReadWholeFile(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
  }
  void Write(const std::string& path, std::string_view text) {
    ASSERT_TRUE(platform::WriteWholeFile(path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()}));
  }

  // A detail line as the console shows it.
  static std::string D(std::string_view text) { return "        " + std::string(text); }

  testing::TempDir dir;
  HostT host;
  RunSettings settings;
  std::string work;
  std::string scripts;
  testing::CapturedConsole console;
  std::optional<Interpreter> interp;
};

}  // namespace kestrune::engine
