// DateTime, RunTime and Delay on the fake clock: no test waits real time.
#include <functional>
#include <string>
#include <vector>

#include "command_fixture.h"

namespace kestrune::engine {
namespace {

// A fake host that lets a test look at the view, or cancel the run, whenever a command sleeps.
class SleepWatchingHost : public testing::FakeHost {
 public:
  void SleepMs(uint32_t ms) override {
    sleeps.push_back(ms);
    FakeHost::SleepMs(ms);
    if (onSleep) onSleep();
  }
  std::vector<uint32_t> sleeps;
  std::function<void()> onSleep;
};

using TimeCommandsTest = CommandFixture<SleepWatchingHost>;
using Texts = std::vector<std::string>;

TEST_F(TimeCommandsTest, DateTimeFormatsIgnoreCase) {
  host.now = {2026, 3, 8, 9, 5, 7, 0};
  const std::pair<std::string, std::string> cases[] = {
      {"yyyymmdd", "20260308"}, {"YyYy-Mm-Dd", "2026-03-08"},
      {"HHMMSS", "090507"},     {"YYYY-MM-DD hh:mm:ss", "2026-03-08 09:05:07"},
      {"hh:mm:ss", "09:05:07"}, {"yyyymmdd-hhmmss", "20260308-090507"},
  };
  for (const auto& [format, expected] : cases) {
    Run(R"(d = DateTime( OutFormat:")" + format + "\" );");
    EXPECT_EQ(Var("d").text, expected) << format;
  }
  Run(R"(DateTime( OutFormat:"DD.MM.YYYY" );)");
  EXPECT_EQ(LastError(), "Parameters not match spec or over limit. OutFormat Error: DD.MM.YYYY");
}

TEST_F(TimeCommandsTest, RunTimeInTheUnitOfTimeFormat) {
  interp.view(0).runStartMs = 1000;
  host.monotonic = 1000 + 3723456;  // 1 hr 2 min 3.456 sec
  const std::pair<std::string, int64_t> cases[] = {
      {"", 3723456}, {R"("sec")", 3723}, {R"("min")", 62}, {R"("hr")", 1}, {R"("SEC")", 3723456},
  };
  for (const auto& [unit, expected] : cases) {
    Run("t = RunTime( ShowResult:FALSE" + (unit.empty() ? "" : ", TimeFormat:" + unit) + " );");
    EXPECT_EQ(Var("t").number, expected) << unit;
  }
  EXPECT_TRUE(Lines().empty());
  Run(R"(RunTime( ShowResult:TRUE, TimeFormat:"sec" );)");
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Lines()[0].text, "Script RunTime : 3723 (1 hr 2 min 3.456 sec )");
  EXPECT_EQ(Lines()[0].colour, colour::kGrey);
}

TEST_F(TimeCommandsTest, DelayUnitComesFromThePairName) {
  const std::pair<std::string, uint64_t> cases[] = {
      {"sec:2", 2000}, {"500", 500},      {"min:1", 60000},
      {"SEC:3", 3000}, {"ms:1999", 1999}, {"2500", 2000},  // a countdown drops the part below a second
  };
  for (const auto& [args, waited] : cases) {
    const uint64_t before = host.monotonic;
    Run("Delay(" + args + ");");
    EXPECT_EQ(host.monotonic - before, waited) << args;
  }
  EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(TimeCommandsTest, CountdownRewritesOneLineInPlace) {
  Run("Delay(1999);");  // short waits sleep once and show nothing
  EXPECT_EQ(host.sleeps, std::vector<uint32_t>{1999});
  EXPECT_TRUE(Lines().empty());

  Texts seen;
  host.onSleep = [&] { seen.push_back(Lines().back().text); };
  Run("Delay(sec:3);");
  EXPECT_EQ(seen, (Texts{"Delay remain 3 sec...", "Delay remain 2 sec...", "Delay remain 1 sec..."}));
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Lines()[0].text, "Delay 3 sec   ");
  EXPECT_EQ(Lines()[0].colour, colour::kGrey);
}

TEST_F(TimeCommandsTest, CancelStopsTheCountdown) {
  host.onSleep = [&] {
    if (host.sleeps.size() == 2) interp.RequestCancel(0);
  };
  Run("Delay(sec:5);");
  EXPECT_EQ(host.sleeps, (std::vector<uint32_t>{1000, 1000}));
  EXPECT_EQ(Lines().back().text, "Delay 5 sec   ");
}

TEST_F(TimeCommandsTest, LongDelaysInMinutesDoNotWrapRound) {
  // 0xFFFFFFFF minutes are 257,698,037,700 seconds; 32-bit arithmetic makes far less of it.
  host.onSleep = [&] { interp.RequestCancel(0); };
  Run("Delay(min:0xFFFFFFFF);");
  EXPECT_EQ(Lines().back().text, "Delay 257698037700 sec   ");
}

}  // namespace
}  // namespace kestrune::engine
