// The run controller: a run on its own thread, cancelled from outside, and what the run's end
// leaves behind (the exit code and the log-data INI).
#include "app/run_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "base/ini.h"
#include "engine/view.h"
#include "platform/files.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::app {
namespace {

class RunControllerTest : public ::testing::Test {
 protected:
  RunControllerTest() : interp(host, testing::WorkFolderSettings(dir.path()), &console) {}

  std::string Script(const std::string& text) {
    std::string path = platform::JoinPath(dir.path(), "run.scpt");
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Waits (at most ten seconds) until the view's list holds text.
  bool WaitForLine(const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
      {
        std::lock_guard<std::mutex> guard(interp.output(0)->lock);
        for (const auto& line : interp.output(0)->lines)
          if (line.text == text) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::string LogData(const std::string& key) {
    auto ini = base::IniFile::Load(platform::JoinPath(dir.path(), "log.ini"));
    return ini ? ini->GetString("LogData", key, "<none>") : "<no file>";
  }

  int Count(const std::string& text) {
    int n = 0;
    for (const std::string& line : console.lines) n += line.find(text) != std::string::npos;
    return n;
  }

  testing::TempDir dir;
  testing::FakeHost host;
  testing::CapturedConsole console;
  engine::Interpreter interp;
};

constexpr const char* kLogAndLoop =
    "SetINIData( Section:\"LogData\", Item:\"Serial\", Output:\"S1\", File:\"log.ini\" );\r\n"
    "Print( Output:\"started\" );\r\nWhile (1) {\r\n  i = 1;\r\n}\r\n";

std::string LogIni(const std::string& folder) { return platform::JoinPath(folder, "log.ini"); }

TEST_F(RunControllerTest, ACancelledRunEndsWithItsOwnCodeInTheExitAndTheLogData) {
  RunController controller(interp);
  interp.SetLogDataPath(0, LogIni(dir.path()));
  std::atomic<int> finished{0};
  ASSERT_TRUE(controller.Start(0, Script(kLogAndLoop), [&](uint32_t view, engine::ExecResult) {
    finished += static_cast<int>(view) + 1;
  }));
  EXPECT_FALSE(controller.Start(0, Script(kLogAndLoop))) << "one run per view";
  ASSERT_TRUE(WaitForLine("started"));
  EXPECT_TRUE(controller.Active(0));
  controller.Cancel(0);
  EXPECT_EQ(controller.Wait(0), engine::kCancelledRunCode);
  EXPECT_FALSE(controller.Active(0));
  EXPECT_EQ(finished.load(), 1);
  EXPECT_EQ(Count("---- Cancel Job ----"), 1);
  EXPECT_EQ(Count("[Error Code]"), 0) << "a cancel is no error report";
  EXPECT_EQ(LogData("Serial"), "S1");
  EXPECT_EQ(LogData("ErrCode"), "FFFFFF01");
  EXPECT_EQ(LogData("ErrDesc"), "Cancel Job");

  // The next run on the view starts afresh: it is not cancelled by the last one's request, and
  // without a path of its own it leaves the log data alone.
  ASSERT_TRUE(controller.Start(0, Script("Print( Output:\"again\" );\r\n")));
  EXPECT_EQ(controller.Wait(0), 0);
  EXPECT_EQ(Count("again"), 1);
  EXPECT_EQ(LogData("ErrCode"), "FFFFFF01");
}

TEST_F(RunControllerTest, TheLogDataRecordsHowTheRunEnded) {
  struct Case {
    const char* ending;
    const char* errCode;
    int32_t exitCode;
  };
  const Case cases[] = {
      {"Print( Output:\"done\" );", "000000", 0},
      {"Exit( ErrCode:3, ErrDesc:\"done\" );", "000000", 0},  // no stop: the code is cleared
      {"x = NoSuchCommand( 1 );", "FFFFFFF0", -16},           // an error stop keeps its code
  };
  for (const Case& c : cases) {
    platform::RemoveFile(platform::JoinPath(dir.path(), "log.ini"));
    RunController controller(interp);
    interp.SetLogDataPath(0, LogIni(dir.path()));
    ASSERT_TRUE(controller.Start(
        0, Script(std::string("SetINIData( Section:\"LogData\", Item:\"Serial\", Output:\"S1\", File:\"log.ini\" );\r\n") +
                  c.ending + "\r\n")));
    EXPECT_EQ(controller.Wait(0), c.exitCode) << c.ending;
    EXPECT_EQ(LogData("ErrCode"), c.errCode) << c.ending;
  }
}

TEST_F(RunControllerTest, DestroyingTheControllerCancelsAndJoinsARunningScript) {
  {
    RunController controller(interp);
    interp.SetLogDataPath(0, LogIni(dir.path()));
    ASSERT_TRUE(controller.Start(0, Script(kLogAndLoop)));
    ASSERT_TRUE(WaitForLine("started"));
  }
  EXPECT_EQ(interp.LastCompletionCode(0), engine::kCancelledRunCode);
}

TEST_F(RunControllerTest, TheImmediateStatementNeverRunsBesideARunAndTellsItsEnd) {
  RunController controller(interp);
  ASSERT_TRUE(controller.Start(0, Script(kLogAndLoop)));
  ASSERT_TRUE(WaitForLine("started"));
  EXPECT_FALSE(controller.StartImmediate(0, "Print( Output:\"beside\" );"));
  controller.Cancel(0);
  controller.Wait(0);

  uint32_t finishedView = 99;
  engine::ExecResult finished = engine::ExecResult::kRewritten;
  ASSERT_TRUE(controller.StartImmediate(0, "  Exit( ErrCode:3, ErrDesc:\"now\" );  ",
                                        [&](uint32_t view, engine::ExecResult result) {
                                          finishedView = view;
                                          finished = result;
                                        }));
  EXPECT_EQ(controller.Wait(0), 3);
  EXPECT_EQ(finishedView, 0u);
  EXPECT_EQ(finished, engine::ExecResult::kEnd);
  std::lock_guard<std::mutex> guard(interp.output(0)->lock);
  std::vector<std::string> texts;
  for (const auto& line : interp.output(0)->lines) texts.push_back(line.text);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "now"), texts.end());
  EXPECT_EQ(std::find(texts.begin(), texts.end(), "beside"), texts.end());
}

}  // namespace
}  // namespace kestrune::app
