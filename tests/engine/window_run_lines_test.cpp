// The lines the window form gives a run of its own: the script start, and at the end the log folder
// (a link) and the elapsed time; the console form has none of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/files.h"
#include "support/fake_host.h"

namespace kestrune::engine {
namespace {

struct Row {
  std::string text;
  uint32_t colour;
  std::string attached;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
  return os << "{" << r.text << ", 0x" << std::hex << r.colour << std::dec << ", " << r.attached << "}";
}

std::vector<Row> RunIn(int style, const std::string& folder, testing::FakeHost& host) {
  RunSettings settings;
  settings.workFolder = folder;
  settings.style = style;
  settings.htmlLogEnabled = true;
  Interpreter interp(host, settings, nullptr);
  const std::string script = platform::JoinPath(folder, "check.scpt");
  interp.RunScriptText(0, "Print( LeftAlign:TRUE, Output:\"middle\" );\r\n", script);
  std::vector<Row> rows;
  std::lock_guard<std::mutex> guard(interp.output(0)->lock);
  for (const OutputLine& line : interp.output(0)->lines) rows.push_back({line.text, line.colour, line.attachedPath});
  return rows;
}

TEST(WindowRunLines, StartLogAndEndAroundTheScriptInTheWindowFormOnly) {
  testing::TempDir dir;
  testing::FakeHost host;
  const platform::LocalTime t = host.Now();
  const std::string date = base::Format("%d/%02d/%02d", t.year, t.month, t.day);
  const std::string clock = base::Format("%02d:%02d:%02d", t.hour, t.minute, t.second);
  EXPECT_EQ(RunIn(0, dir.path(), host),
            (std::vector<Row>{
                {"<" + clock + "-1> ##### SCRIPT START " + date + " (Kestrune 9.1.2.33-543 : check.scpt) #####",
                 colour::kGreen, ""},
                {"middle", colour::kYellow, ""},
                {"<" + clock + "-3> ##### SCRIPT LOG " + dir.path(), colour::kGreen, dir.path()},
                {"<" + clock + "-4> ##### SCRIPT END " + date + " (Elapsed Time: 0.000 sec ) #####", colour::kGreen,
                 ""},
            }));
  EXPECT_EQ(RunIn(30, dir.path(), host), (std::vector<Row>{{"middle", colour::kYellow, ""}}));
}

}  // namespace
}  // namespace kestrune::engine
