// The console form's Ui: file prompts answered on standard input, the status line, and the
// unattended form that cancels every choice. Also how a child instance gets the parent's lab.
#include "app/console_ui.h"

#include <gtest/gtest.h>

#include <deque>

#include "app/command_line.h"
#include "app/disk_source.h"
#include "support/fake_host.h"

namespace kestrune::app {
namespace {

using engine::FileChoice;

// A ConsoleUi whose operator types the given lines (nullopt: the end of the input).
struct TypedUi {
  explicit TypedUi(bool interactive, std::deque<std::optional<std::string>> typed = {})
      : lines(std::move(typed)),
        ui(
            console, interactive,
            [this](const std::atomic<bool>* cancel) -> std::optional<std::string> {
              seenCancel = cancel;
              ++reads;
              if (lines.empty()) return std::nullopt;
              auto line = lines.front();
              lines.pop_front();
              return line;
            },
            [this](const std::string& path, bool append) {
              redirected = path + (append ? " (append)" : "");
              return true;
            }) {}

  testing::FakeHost host;
  Console console{host};
  std::deque<std::optional<std::string>> lines;
  const std::atomic<bool>* seenCancel = nullptr;
  int reads = 0;
  std::string redirected;
  ConsoleUi ui;
};

TEST(ConsoleUiTest, PromptTexts) {
  EXPECT_EQ(FileChoicePrompt({FileChoice::Mode::kOpen, "ini File", "ini", ""}), "ini File to open (*.ini): ");
  EXPECT_EQ(FileChoicePrompt({FileChoice::Mode::kSave, "CSV File", "csv", "report.csv"}),
            "CSV File to save (*.csv) [report.csv]: ");
  EXPECT_EQ(FileChoicePrompt({FileChoice::Mode::kOpen, "", "", ""}), "File to open (*.*): ");
}

TEST(ConsoleUiTest, TheOperatorsAnswers) {
  struct Case {
    const char* name;
    std::optional<std::string> typed;
    std::string preset;
    std::optional<std::string> chosen;
  };
  const Case cases[] = {
      {"a path", "  /data/station.ini \r", "", "/data/station.ini"},
      {"a quoted path loses its quotes", "\"/my data/a.ini\"", "", "/my data/a.ini"},
      {"Enter alone takes the preset", "", "report.csv", "report.csv"},
      {"Enter alone without a preset cancels", "", "", std::nullopt},
      {"the end of the input cancels", std::nullopt, "report.csv", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TypedUi t(true, {c.typed});
    std::atomic<bool> cancel{false};
    FileChoice choice{FileChoice::Mode::kSave, "CSV File", "csv", c.preset, &cancel};
    EXPECT_EQ(t.ui.ChooseFile(0, choice), c.chosen);
    EXPECT_EQ(t.seenCancel, &cancel);
    EXPECT_TRUE(t.host.out.starts_with(FileChoicePrompt(choice))) << t.host.out;
  }
}

TEST(ConsoleUiTest, ACancelledRunIsNotAsked) {
  TypedUi t(true, {"/x.ini"});
  std::atomic<bool> cancel{true};
  EXPECT_EQ(t.ui.ChooseFile(0, {FileChoice::Mode::kOpen, "ini File", "ini", "", &cancel}), std::nullopt);
  EXPECT_EQ(t.reads, 0);
  EXPECT_EQ(t.host.out, "");
}

TEST(ConsoleUiTest, UnattendedCancelsEveryChoiceAndShowsNoStatus) {
  TypedUi t(false, {"/x.ini"});
  EXPECT_EQ(t.ui.ChooseFile(0, {FileChoice::Mode::kOpen, "ini File", "ini", ""}), std::nullopt);
  EXPECT_EQ(t.reads, 0);
  t.ui.ShowStatus(0, "busy");
  EXPECT_EQ(t.host.out, "");
  EXPECT_TRUE(t.ui.RedirectConsole("/tmp/out.log", true));  // ConsoleOut works unattended too
  EXPECT_EQ(t.redirected, "/tmp/out.log (append)");
}

TEST(ConsoleUiTest, TheStatusIsTheConsolesStatusLine) {
  TypedUi t(true);
  t.ui.ShowStatus(0, "Cycle 3");
  EXPECT_EQ(t.host.out, "\r        Cycle 3\x1b[K");
}

TEST(ConsoleUiTest, UiModesOneAndThreeAreUnattended) {
  testing::FakeHost host;
  Console console(host);
  for (int mode : {1, 3}) {
    auto ui = MakeConsoleUi(console, mode);
    EXPECT_FALSE(static_cast<ConsoleUi&>(*ui).interactive()) << mode;
  }
}

TEST(ChildDiskArgumentsTest, AChildSeesTheSameLab) {
  CommandLine cl =
      ParseCommandLine({"kestrune", "/sim=lab 4k.ini", "SIMDIR:\"/tmp/parent lab\","}, ParseOptions{});
  EXPECT_EQ(cl.simFolder, "/tmp/parent lab");
  EXPECT_EQ(SimLabFolder(cl, "/tmp/work"), "/tmp/parent lab");
  EXPECT_EQ(ChildDiskArguments(cl, "/tmp/work"), "\"/sim=lab 4k.ini\" \"SIMDIR:/tmp/parent lab\"");

  CommandLine plain = ParseCommandLine({"kestrune", "/sim"}, ParseOptions{});
  EXPECT_EQ(SimLabFolder(plain, "/tmp/work"), "/tmp/work/simlab");
  EXPECT_EQ(ChildDiskArguments(plain, "/tmp/work"), "/sim SIMDIR:/tmp/work/simlab");

  EXPECT_EQ(ChildDiskArguments(ParseCommandLine({"kestrune"}, ParseOptions{}), "/tmp/work"), "");
}

}  // namespace
}  // namespace kestrune::app
