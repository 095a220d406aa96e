// The HTML test log and Save Screen: the rows as a browser reads them back, a page that later runs
// append to, and the saved folder with its copies.
#include "engine/html_log.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/unicode.h"
#include "engine/save_screen.h"
#include "platform/files.h"
#include "script_run_fixture.h"

namespace kestrune::engine {
namespace {

constexpr std::string_view kIndent = "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";

OutputLine Line(std::string text, int32_t kind = kText, uint8_t header = 0, std::string attached = {},
                uint32_t colour = colour::kWhite, int32_t size = 10) {
  OutputLine l;
  l.text = std::move(text);
  l.kind = kind;
  l.header = header;
  l.attachedPath = std::move(attached);
  l.colour = colour;
  l.fontSize = size;
  return l;
}

TEST(HtmlLog, RowsEscapeTextAndLinkFilesOfTheFolder) {
  const std::string folder = "/logs/run";
  struct Case {
    OutputLine line;
    std::string row;
  } cases[] = {
      {Line("a & b <c> \"d\" 'e'", kText, 1, {}, colour::kRed, 20),
       "<font color=\"#FF0000\" style=\"font-size:24px\">a&nbsp;&amp;&nbsp;b&nbsp;&lt;c&gt;&nbsp;&quot;d&quot;&nbsp;"
       "&#39;e&#39;</font><br>\r\n"},
      {Line("ok", kText, 0, {}, colour::kOrange),
       std::string(kIndent) + "<font color=\"#FF7F27\" style=\"font-size:12px\">ok</font><br>\r\n"},
      {Line("dump", kText, 0, "/logs/run/my file#1.hex"),
       std::string(kIndent) +
           "<font color=\"#FFFFFF\" style=\"font-size:12px\"><a href=\"my%20file%231.hex\">dump</a></font><br>\r\n"},
      {Line("far", kText, 1, "/other/x y.txt"),
       "<font color=\"#FFFFFF\" style=\"font-size:12px\"><a href=\"file:///other/x%20y.txt\">far</a></font><br>\r\n"},
      {Line("/logs/run/chart.png", kPicture, 1), "<img border=0 src=\"chart.png\"><br>\r\n"},
      {Line("/logs/run/chart.png", kPicture, 0, "/logs/run/data.csv"),
       std::string(kIndent) + "<a href=\"data.csv\"><img border=0 src=\"chart.png\"></a><br>\r\n"},
      {Line("/logs/run/R1.hex", kDataFile, 0, "/logs/run/R1.hex", colour::kYellow, 10),
       std::string(kIndent) +
           "<font color=\"#FFFFFF\" style=\"font-size:12px\"><a href=\"R1.hex\">/logs/run/R1.hex</a></font><br>\r\n"},
      {Line("hidden", kTextNotInHtml), ""},
      {Line("\xC3\xA9t\xC3\xA9", kTextAlwaysOnConsole, 1),
       "<font color=\"#FFFFFF\" style=\"font-size:12px\">\xC3\xA9t\xC3\xA9</font><br>\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(HtmlLogRow(c.line, folder), c.row) << c.line.text;
}

using HtmlLogRun = ScriptRunFixture<>;

TEST_F(HtmlLogRun, EveryRunAppendsItsLinesToOnePageInTheLogFolder) {
  settings.htmlLogEnabled = true;
  Run("Print( Output:\"first <run>\" );\r\n");
  Run("Print( Output:\"second & last\" );\r\n");
  const std::string page = Read(Work("TestLog.htm"));
  ASSERT_EQ(page.rfind(kHtmlLogHead, 0), 0u) << page;
  EXPECT_EQ(page.find(kHtmlLogHead, 1), std::string::npos) << "the head is written once";
  size_t first = page.find("first&nbsp;&lt;run&gt;");
  size_t second = page.find("second&nbsp;&amp;&nbsp;last");
  ASSERT_NE(first, std::string::npos) << page;
  ASSERT_NE(second, std::string::npos) << page;
  EXPECT_LT(first, second);
}

TEST_F(HtmlLogRun, WithoutTheHtmlLogNoPageIsWritten) {
  Run("Print( Output:\"x\" );\r\n");
  EXPECT_FALSE(platform::FileExists(Work("TestLog.htm")));
}

class SaveScreenTest : public ::testing::Test {
 protected:
  void Add(OutputLine line) { view.lines.push_back(std::move(line)); }
  std::string Source(const std::string& sub, const std::string& name, std::string_view bytes) {
    std::string folder = platform::JoinPath(dir.path(), sub);
    std::filesystem::create_directories(platform::FsPath(folder));
    std::string path = platform::JoinPath(folder, name);
    EXPECT_TRUE(platform::WriteWholeFile(path, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}));
    return path;
  }
  std::string ReadText(const std::string& path) {
    auto bytes = platform::ReadWholeFile(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<missing>";
  }

  testing::TempDir dir;
  ViewOutput view;
  platform::LocalTime now{2026, 12, 9, 8, 5, 3, 7};
};

TEST_F(SaveScreenTest, EmptyListMakesNothing) {
  SaveScreenOutcome out = SaveScreen(view, dir.path(), now);
  EXPECT_EQ(out.status, SaveScreenOutcome::Status::kNoData);
  EXPECT_TRUE(platform::ListFiles(dir.path()).empty());
}

TEST_F(SaveScreenTest, SavesTextPageAndCopiesWithoutClashes) {
  const std::string a = Source("a", "same name.bin", "from a");
  const std::string b = Source("b", "same name.bin", "from b");
  const std::string chart = Source("a", "chart.png", "png");
  Add(Line("##### header", kText, 1));
  Add(Line("detail", kText, 0, a));
  Add(Line("again", kText, 0, a));  // one copy serves both
  Add(Line(b, kDataFile, 0, b));
  Add(Line(chart, kPicture, 0));

  SaveScreenOutcome first = SaveScreen(view, dir.path(), now);
  ASSERT_EQ(first.status, SaveScreenOutcome::Status::kDone);
  EXPECT_EQ(platform::FileNameOf(first.folder), "[SaveScreen_20261209-080503-007]");
  EXPECT_EQ(platform::ListFiles(first.folder),
            (std::vector<std::string>{"TestLog.htm", "TestLog.txt", "chart.png", "same name.bin", "same name_2.bin"}));
  EXPECT_EQ(ReadText(platform::JoinPath(first.folder, "same name_2.bin")), "from b");

  const std::string txt = ReadText(platform::JoinPath(first.folder, "TestLog.txt"));
  EXPECT_EQ(base::FromUtf16Le(txt), "\xEF\xBB\xBF##### header\n        detail\n        again\n        " + b +
                                        "\n        " + chart + "\n");
  const std::string page = ReadText(platform::JoinPath(first.folder, "TestLog.htm"));
  EXPECT_NE(page.find("<a href=\"same%20name.bin\">detail</a>"), std::string::npos) << page;
  EXPECT_NE(page.find("<a href=\"same%20name_2.bin\">"), std::string::npos) << page;
  EXPECT_NE(page.find("src=\"chart.png\""), std::string::npos) << page;

  // The same millisecond again (another instance): a folder of its own.
  SaveScreenOutcome second = SaveScreen(view, dir.path(), now);
  ASSERT_EQ(second.status, SaveScreenOutcome::Status::kDone);
  EXPECT_EQ(platform::FileNameOf(second.folder), "[SaveScreen_20261209-080503-007]_2");
}

TEST_F(SaveScreenTest, AMissingFileIsNamedAndTheRestSaved) {
  const std::string gone = platform::JoinPath(dir.path(), "gone.hex");
  Add(Line("dump", kText, 0, gone));
  Add(Line("more", kText, 0));
  SaveScreenOutcome out = SaveScreen(view, dir.path(), now);
  EXPECT_EQ(out.status, SaveScreenOutcome::Status::kCopyFailed);
  EXPECT_EQ(out.failed, std::vector<std::string>{gone});
  EXPECT_TRUE(platform::FileExists(platform::JoinPath(out.folder, "TestLog.txt")));
}

// Leaves a Save Screen folder for tests/html/check_html_log.sh, which reads it in a browser; skipped
// unless KESTRUNE_SAVESCREEN_OUT names where to put it. Its expected.txt holds the lines' texts.
TEST_F(SaveScreenTest, FolderForTheBrowserCheck) {
  const char* out = std::getenv("KESTRUNE_SAVESCREEN_OUT");
  if (!out) GTEST_SKIP() << "KESTRUNE_SAVESCREEN_OUT is not set";
  std::filesystem::create_directories(platform::FsPath(out));
  const std::string linked = Source("files dir", "a #1 b.txt", "linked");
  const std::vector<std::string> texts = {"##### SCRIPT & <check>", "quote \"x\" and 'y'", "caf\xC3\xA9 \xE2\x9C\x93",
                                          "linked file"};
  Add(Line(texts[0], kText, 1, {}, colour::kGreen));
  Add(Line(texts[1], kText, 0, {}, colour::kRed));
  Add(Line(texts[2], kText, 0));
  Add(Line(texts[3], kText, 0, linked));
  SaveScreenOutcome saved = SaveScreen(view, out, now);
  ASSERT_EQ(saved.status, SaveScreenOutcome::Status::kDone);
  std::string expected;
  for (const std::string& t : texts) expected += t + "\n";
  ASSERT_TRUE(platform::WriteWholeFile(platform::JoinPath(saved.folder, "expected.txt"),
                                       {reinterpret_cast<const uint8_t*>(expected.data()), expected.size()}));
}

}  // namespace
}  // namespace kestrune::engine
