// PrintEx, FontList, SetStatusText and ConsoleOut: the lines they write (text, type, size, colour,
// kind) and what they hand to the Ui.
#include <gtest/gtest.h>

#include <memory>

#include "command_fixture.h"
#include "platform/files.h"
#include "support/executable_file.h"
#include "support/scripted_ui.h"

namespace kestrune::engine {
namespace {

struct Shown {
  std::string text;
  int32_t size;
  uint32_t colour;
  int32_t kind;
  bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
  return os << "{" << s.text << ", " << s.size << ", 0x" << std::hex << s.colour << std::dec << ", " << s.kind
            << "}";
}

class OutputCommandsTest : public CommandFixture<> {
 protected:
  OutputCommandsTest() { interp.SetUi(ui); }

  std::vector<Shown> Shows() {
    std::vector<Shown> out;
    for (const OutputLine& l : Lines()) out.push_back({l.text, l.fontSize, l.colour, l.kind});
    Lines().clear();
    return out;
  }
  std::string In(const std::string& name) { return platform::JoinPath(dir.path(), name); }

  std::shared_ptr<testing::ScriptedUi> ui = std::make_shared<testing::ScriptedUi>();
};

// A PNG file's start: signature and the IHDR chunk with the size.
std::string PngHeader(uint32_t width, uint32_t height) {
  std::string b = "\x89PNG\r\n\x1a\n";
  b += std::string("\0\0\0\x0dIHDR", 8);
  for (uint32_t v : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) b += static_cast<char>((v >> shift) & 0xFF);
  return b + std::string(5, '\0');
}

TEST_F(OutputCommandsTest, PrintExColoursByName) {
  struct Case {
    const char* colour;
    uint32_t value;
  };
  // clang-format off
  const Case cases[] = {
      {"WHITE", 0xFFFFFF}, {"RED", 0x0000FF},    {"GREEN", 0x00FF00},     {"BLUE", 0xFF9632},
      {"GRAY", 0x969696},  {"MAROON", 0x4C3E85}, {"ORANGE", 0x277FFF},    {"OLIVE", 0x009696},
      {"PURPLE", 0xFA00FA}, {"NAVY", 0x804000},  {"BLUEGREEN", 0xFFFF00}, {"YELLOW", 0x00FFFF},
      {"yellow", 0x00FFFF}, {"PINK", 0x0000FF},  {"", 0x0000FF},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colour);
    Run(std::string("PrintEx( Color:\"") + c.colour + "\", Output:\"Test\" );");
    EXPECT_EQ(Shows(), (std::vector<Shown>{{"Test", 10, c.value, kTextAlwaysOnConsole}}));
  }
  Run(R"(PrintEx( Output:"no colour" );)");
  EXPECT_EQ(Shows(), (std::vector<Shown>{{"no colour", 10, colour::kWhite, kTextAlwaysOnConsole}}));
}

TEST_F(OutputCommandsTest, PrintExUsageTemplatePrintsWhiteOnTheConsole) {
  Run(R"(PrintEx( LeftAlign:FALSE, FontSize:10, Color:"WHITE", Output:"Test");)");
  EXPECT_EQ(Shows(), (std::vector<Shown>{{"Test", 10, colour::kWhite, kTextAlwaysOnConsole}}));
  EXPECT_EQ(console.lines, (std::vector<std::string>{"        Test"}));
  EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(OutputCommandsTest, PrintExMatchesPairsByNameFragment) {
  Run(R"(PrintEx( MyColor:"GREEN", BigSize:24, LeftAlign:TRUE, "bare text" );)");
  EXPECT_EQ(Shows(), (std::vector<Shown>{{"bare text", 24, 0x00FF00, kTextAlwaysOnConsole}}));
  EXPECT_EQ(console.lines.back(), "bare text");  // LeftAlign: a plain line, not indented
  Run(R"(PrintEx( Size:100000, Output:1234 );)");
  EXPECT_EQ(Shows(), (std::vector<Shown>{{"1234", 255, colour::kWhite, kTextAlwaysOnConsole}}));
  Run(R"(PrintEx( Size:"big", Output:"not shown" );)");  // a size that is no number ends the command
  EXPECT_TRUE(Shows().empty());
}

TEST_F(OutputCommandsTest, PrintExSetsTheStatusTextOnlyInTheWindowForm) {
  Run(R"(PrintEx( Output:"console" );)");
  EXPECT_TRUE(ui->statuses.empty());
  RunSettings window;
  window.workFolder = dir.path();
  window.style = 0;
  Interpreter windowed(host, window, nullptr);
  auto windowUi = std::make_shared<testing::ScriptedUi>();
  windowed.SetUi(windowUi);
  windowed.RunScriptText(0, R"(PrintEx( Output:"window" );)", In("window.scpt"));
  EXPECT_EQ(windowUi->statuses, (std::vector<std::string>{"window"}));
}

TEST_F(OutputCommandsTest, PrintExImageIsAPictureLineAsTallAsThePicture) {
  testing::WriteTextFile(In("chart.png"), PngHeader(640, 120));
  testing::WriteTextFile(In("tall.png"), PngHeader(10, 4000));
  testing::WriteTextFile(In("unknown.png"), "not a picture");
  Run(R"(PrintEx( Color:"IMAGE", Output:"chart.png" );)");
  Run(R"(PrintEx( Color:"image", Output:"tall.png" );)");
  Run(R"(PrintEx( Color:"IMAGE", Output:"unknown.png" );)");
  EXPECT_EQ(Shows(), (std::vector<Shown>{{In("chart.png"), 120, 0xFF9632, kPicture},
                                         {In("tall.png"), 255, 0xFF9632, kPicture},
                                         {In("unknown.png"), 255, 0xFF9632, kPicture}}));
  EXPECT_TRUE(console.lines.empty());  // pictures are not text on the console
  Run(R"(PrintEx( Color:"IMAGE", Output:"missing.png" );)");
  EXPECT_EQ(LastError(), "File Open Fail or File Does Not Exist. missing.png");
}

TEST_F(OutputCommandsTest, PrintExTextFileWritesEveryLineInWhite) {
  std::string longLine(600, 'x');
  testing::WriteTextFile(In("notes.txt"), "first\r\nsecond\n" + longLine + "\nlast");
  Run(R"(PrintEx( Color:"TXTFILE", Output:"notes.txt", FontSize:12 );)");
  std::vector<Shown> shown = Shows();
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown[0], (Shown{"first", 12, colour::kWhite, kTextAlwaysOnConsole}));
  EXPECT_EQ(shown[1].text, "second");
  EXPECT_EQ(shown[2].text, std::string(250, 'x'));  // 512 bytes of the line, cut to an output line
  EXPECT_EQ(shown[3].text, std::string(88, 'x'));   // the rest of the line
  EXPECT_EQ(shown[4].text, "last");
  Run(R"(PrintEx( Color:"TXTFILE", Output:"none.txt" );)");
  EXPECT_EQ(LastError(), "File Open Fail or File Does Not Exist. none.txt");
}

TEST_F(OutputCommandsTest, FontListShowsEachColourAtItsSize) {
  Run("FontList();");
  EXPECT_EQ(Shows(), (std::vector<Shown>{
                         {"WHITE  10", 10, 0xFFFFFF, kTextAlwaysOnConsole},
                         {"GREEN  14", 14, 0x00FF00, kTextAlwaysOnConsole},
                         {"BLUE   18", 18, 0xFF9632, kTextAlwaysOnConsole},
                         {"GRAY   22", 22, 0x969696, kTextAlwaysOnConsole},
                         {"MAROON 28", 28, 0x4C3E85, kTextAlwaysOnConsole},
                         {"ORANGE 32", 32, 0x277FFF, kTextAlwaysOnConsole},
                         {"OLIVE  35", 35, 0x009696, kTextAlwaysOnConsole},
                         {"PURPLE 40", 40, 0xFA00FA, kTextAlwaysOnConsole},
                         {"NAVY   50", 50, 0x804000, kTextAlwaysOnConsole},
                         {"YELLOW 60", 60, 0x00FFFF, kTextAlwaysOnConsole},
                         {"RED    70", 70, 0x0000FF, kTextAlwaysOnConsole},
                     }));
}

TEST_F(OutputCommandsTest, SetStatusTextWritesTheLineAndTellsTheUi) {
  Run(R"(SetStatusText( Status:"Cycle 3", Progress:30, 7 );)");
  Run(R"(SetStatusText( Status:"Cycle 4" );)");
  EXPECT_EQ(Shows(), (std::vector<Shown>{{"Cycle 3", 10, colour::kYellow, kText},
                                         {"Cycle 4", 10, colour::kYellow, kText}}));
  EXPECT_EQ(ui->statuses, (std::vector<std::string>{"Cycle 3", "Cycle 4"}));
  EXPECT_EQ(ui->progress, (std::vector<std::pair<int64_t, int64_t>>{{30, 7}, {0, 0}}));
}

TEST_F(OutputCommandsTest, ConsoleOutMovesTheConsoleToAFileOfTheLogFolder) {
  using R = testing::ScriptedUi::Redirect;
  Run(R"(ConsoleOut( Stdout:"console.log" );)");
  Run(R"(ConsoleOut( Stdout:"/tmp/abs.log", Append:TRUE );)");
  Run(R"(ConsoleOut();)");
  EXPECT_EQ(ui->redirects, (std::vector<R>{{In("console.log"), false}, {"/tmp/abs.log", true}, {"", false}}));
  EXPECT_EQ(ErrorCount(), 0);
  ui->redirectWorks = false;
  Run(R"(ConsoleOut( Stdout:"locked.log" );)");
  EXPECT_EQ(LastError(), "Output File Fail. " + In("locked.log"));
}

}  // namespace
}  // namespace kestrune::engine
