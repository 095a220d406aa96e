// MonitorData: the temperature chart's scales and time labels, the items it accepts, and a run on
// the lab's NVMe drive (313 K composite and sensor 1, no sensor 2) on the virtual clock.
#include <gtest/gtest.h>

#include <string>

#include "base/completion_codes.h"
#include "disk/sector_lab.h"
#include "platform/files.h"
#include "workloads/chart_commands.h"
#include "workloads/monitor_layout.h"
#include "workloads/png_pixels.h"
#include "workloads/smart_temperatures.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

TEST(MonitorLayout, TemperatureAndTimeScales) {
  EXPECT_EQ(MonitorY(0), 134);
  EXPECT_EQ(MonitorY(120), 5);
  EXPECT_EQ(MonitorY(40), 91);
  EXPECT_EQ(MonitorX(0, 60), 40);
  EXPECT_EQ(MonitorX(30, 60), 480);
  EXPECT_EQ(MonitorX(60, 60), 920);
  EXPECT_EQ(CelsiusOf(0), 0);  // no reading stays 0, not -273
  EXPECT_EQ(CelsiusOf(313), 40);
  EXPECT_EQ(MonitorTemperatureLabels().front(), (AxisLabel{134, "  0"}));
  EXPECT_EQ(MonitorTemperatureLabels().back(), (AxisLabel{5, "120"}));

  // The first step that puts at most twenty labels on the axis.
  const struct {
    uint32_t limitSec, step;
  } steps[] = {{10, 1},   {60, 5},     {600, 30},     {629, 30},
               {630, 60}, {3600, 300}, {86400, 7200}, {10'000'000, 86400}};
  for (const auto& s : steps) EXPECT_EQ(MonitorTimeStep(s.limitSec), s.step) << s.limitSec;
  const std::vector<AxisLabel> minute = MonitorTimeLabels(60);
  ASSERT_EQ(minute.size(), 13u);
  EXPECT_EQ(minute[1], (AxisLabel{113, "5"}));
  EXPECT_EQ(minute.back(), (AxisLabel{920, "60"}));
  EXPECT_EQ(MonitorTimeLabels(3600)[1].text, "5min");
  EXPECT_EQ(MonitorTimeLabels(86400)[1].text, "2hr");
}

TEST(MonitorLayout, ItemsAndTheirTemperatures) {
  EXPECT_EQ(SplitMonitorItems(" T-Composite | T-Sensor1 || t-sensor8 "),
            (std::vector<std::string>{"T-Composite", "T-Sensor1", "t-sensor8"}));
  EXPECT_EQ(TemperatureIndexOf("t-composite"), std::optional<size_t>(0));
  EXPECT_EQ(TemperatureIndexOf("T-Sensor8"), std::optional<size_t>(8));
  EXPECT_EQ(TemperatureIndexOf("T-Sensor9"), std::nullopt);
  std::vector<uint8_t> page(kSmartLogBytes);
  page[1] = 0x39, page[2] = 0x01;      // 313 K
  page[214] = 0x2C, page[215] = 0x01;  // sensor 8: 300 K
  const auto t = SmartTemperatures(page);
  EXPECT_EQ(t[0], 313);
  EXPECT_EQ(t[1], 0);
  EXPECT_EQ(t[8], 300);
}

class MonitorDataLab : public disk::testing::SectorLab {
 protected:
  MonitorDataLab() {
    EXPECT_TRUE(RegisterChartCommands(interp).empty());
    Select(disk::testing::kRawNvme);
  }
};

TEST_F(MonitorDataLab, ParameterFaults) {
  const struct {
    const char* statement;
    const char* detail;
  } faults[] = {
      {R"(MonitorData( MonitorItem:"T-Composite", GetDataSec:0, LimitTimeSec:60 );)", "iGetDataSec must > 0"},
      {R"(MonitorData( MonitorItem:"T-Composite", GetDataSec:1, LimitTimeSec:0 );)",
       "iLimitTimeSec must > 0"},
      {R"(MonitorData( MonitorItem:"T-Composite | T-Sensor1 | T-Sensor2 | T-Sensor3", GetDataSec:1, LimitTimeSec:5 );)",
       "max 3 Monitor Items"},
      {R"(MonitorData( MonitorItem:" | ", GetDataSec:1, LimitTimeSec:5 );)", "max 3 Monitor Items"},
  };
  for (const auto& f : faults) {
    Run(f.statement);
    EXPECT_EQ(Code(), code::kBadParameter) << f.statement;
    EXPECT_EQ(Description(), std::string("Parameters not match spec or over limit. ") + f.detail);
  }
  EXPECT_EQ(host.monotonic.load(), 0u);  // refused before any waiting
}

TEST_F(MonitorDataLab, ReadsEveryGetDataSecIntoChartAndCsv) {
  const uint64_t start = host.monotonic.load();
  Run(R"(MonitorData( MonitorItem:"T-Composite | T-Sensor1 | T-Sensor2", GetDataSec:2, LimitTimeSec:5 );)");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_EQ(host.monotonic.load() - start, 5000u);
  const engine::OutputLine* picture = nullptr;
  for (const engine::OutputLine& line : printed)
    if (line.kind == engine::kPicture) picture = &line;
  ASSERT_NE(picture, nullptr);
  auto csv = platform::ReadWholeFile(picture->attachedPath);
  ASSERT_TRUE(csv);
  EXPECT_EQ(std::string(csv->begin(), csv->end()),
            "Sec,T-Composite,T-Sensor1,T-Sensor2\r\n0,40,40,0\r\n2,40,40,0\r\n4,40,40,0\r\n");
  std::optional<testing::PngPixels> png = testing::ReadPng(picture->text);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, kMonitorWidth);
  EXPECT_EQ(png->height, kMonitorHeight);
  EXPECT_EQ(png->Rgb(MonitorX(1, 5), MonitorY(0)), 0xFFA500u);   // sensor 2 (no reading) drawn at 0, orange
  EXPECT_EQ(png->Rgb(MonitorX(3, 5), MonitorY(40)), 0x9ACD32u);  // sensor 1 over the composite
  EXPECT_EQ(png->At(600, 60), 0xFF000000u);
}

}  // namespace
}  // namespace kestrune::workloads
