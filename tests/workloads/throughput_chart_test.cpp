// The throughput chart: its scales and grid labels as numbers and texts, the minute marks, and one
// saved picture read back pixel by pixel.
#include "workloads/throughput_chart.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/host.h"
#include "support/fake_host.h"
#include "workloads/png_pixels.h"
#include "workloads/throughput_chart_layout.h"

namespace kestrune::workloads {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

TEST(ThroughputScale, FullScaleKeepsTenMegabytesOfHeadroom) {
  const struct {
    uint64_t maxKBps, fullScale;
  } cases[] = {{0, 10240}, {1, 10241}, {10240, 20480}, {3'000'000, 3'010'240}};
  for (const auto& c : cases) EXPECT_EQ(FullScaleKBps(c.maxKBps), c.fullScale) << c.maxKBps;
}

TEST(ThroughputScale, ValuesAndBytesMapOntoThePlot) {
  // The plot spans x 39 .. 700 and y 5 .. 375 (370 pixels).
  const struct {
    uint64_t value, fullScale;
    int y;
  } ys[] = {{0, 10240, 375}, {10240, 10240, 5}, {5120, 10240, 190}, {99999, 10240, 5}, {7, 0, 375}};
  for (const auto& c : ys) EXPECT_EQ(ScaleY(c.value, c.fullScale), c.y) << c.value << "/" << c.fullScale;
  const struct {
    uint64_t bytes, span;
    int x;
  } xs[] = {{0, 100 * kMiB, 39},
            {50 * kMiB, 100 * kMiB, 369},
            {100 * kMiB, 100 * kMiB, 700},
            {300 * kMiB, 100 * kMiB, 700},
            {5, 0, 39},
            {uint64_t{1} << 62, uint64_t{1} << 63, 369}};
  for (const auto& c : xs) EXPECT_EQ(SpanX(c.bytes, c.span), c.x) << c.bytes << "/" << c.span;
}

TEST(ThroughputScale, TemperaturesReadInKelvinOrCelsius) {
  EXPECT_EQ(TemperatureY(0, 273), std::nullopt);  // not read in this sample
  EXPECT_EQ(TemperatureY(273 + 125, 273), std::optional<int>(5));
  EXPECT_EQ(TemperatureY(273 + 25, 273), std::optional<int>(301));
  EXPECT_EQ(TemperatureY(25, 0), std::optional<int>(301));     // SATA: degrees Celsius
  EXPECT_EQ(TemperatureY(200, 273), std::optional<int>(375));  // below 0 degrees stays on the axis
}

TEST(ThroughputScale, GridLabelsInMegabytesIoAndDegrees) {
  const std::vector<GridLine> grid = ThroughputGrid(10240, 4096, true);
  ASSERT_EQ(grid.size(), 5u);
  const struct {
    int y;
    const char *mbps, *iops, *temperature;
  } expected[] = {{301, "2", "512", " 25'C"},
                  {227, "4", "1024", " 50'C"},
                  {153, "6", "1536", " 75'C"},
                  {79, "8", "2048", "100'C"},
                  {5, "10", "2560", "125'C"}};
  for (size_t i = 0; i < grid.size(); ++i) {
    EXPECT_EQ(grid[i].y, expected[i].y);
    EXPECT_EQ(grid[i].mbps, expected[i].mbps);
    EXPECT_EQ(grid[i].iops, expected[i].iops);
    EXPECT_EQ(grid[i].temperature, expected[i].temperature);
  }
  // 128 KiB requests at a full scale of 1,000,000 KiB/s; no temperature labels without readings.
  const std::vector<GridLine> fast = ThroughputGrid(1'000'000, 128 * 1024, false);
  EXPECT_EQ(fast[0].mbps, "195");
  EXPECT_EQ(fast[0].iops, "1562");
  EXPECT_EQ(fast[4].mbps, "976");
  EXPECT_EQ(fast[4].iops, "7812");
  EXPECT_EQ(fast[4].temperature, "");
}

TEST(ThroughputScale, EverySecondMinuteIsLabelledWhenThereIsRoom) {
  MinuteMarker marker;
  EXPECT_EQ(marker.Next(59'999, 60), std::nullopt);
  EXPECT_EQ(marker.Next(60'000, 80), (MinuteMark{80, ""}));
  EXPECT_EQ(marker.Next(61'000, 85), std::nullopt);
  EXPECT_EQ(marker.Next(120'000, 100), (MinuteMark{100, "2min"}));
  EXPECT_EQ(marker.Next(240'000, 150), (MinuteMark{150, ""}));  // not more than 50 pixels on
  EXPECT_EQ(marker.Next(360'000, 151), (MinuteMark{151, "6min"}));
}

// One cycle over 100 MiB: 40000 KiB/s for the first half, then 20000 KiB/s; a composite
// temperature of 40 degrees (313 K) in the first sample; the 2-minute mark at the last sample.
std::vector<SamplePoint> CycleSamples() {
  std::vector<SamplePoint> samples;
  for (int i = 1; i <= 10; ++i) {
    SamplePoint s;
    s.cycleMs = i == 10 ? 120'000 : static_cast<uint64_t>(i) * 1000;
    s.cycleBytes = static_cast<uint64_t>(i) * 10 * kMiB;
    s.jobBytes = s.cycleBytes;
    s.readKBps = i <= 5 ? 40'000 : 20'000;
    s.readIOps = s.readKBps / 4;
    if (i == 1) s.temperatures[0] = 313;
    samples.push_back(s);
  }
  return samples;
}

TEST(ThroughputChart, SavedPictureIs800By400WithThePlottedSamples) {
  kestrune::testing::TempDir dir;
  const std::vector<SamplePoint> samples = CycleSamples();
  ThroughputChartRecord record;
  record.samples = samples;
  record.spanBytes = 100 * kMiB;
  record.accessSize = 4096;
  record.temperatures = true;
  record.temperatureOffset = 273;
  const std::string path = platform::JoinPath(dir.path(), "cycle.png");
  ASSERT_TRUE(SaveThroughputChart(record, path));

  std::optional<testing::PngPixels> png = testing::ReadPng(path);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, 800);
  EXPECT_EQ(png->height, 400);
  const uint64_t fullScale = FullScaleKBps(40'000);
  // Background, inside the plot and away from every line.
  EXPECT_EQ(png->At(600, 340), 0xFF000000u);
  // The MB/s line on the first half, between two samples, and at the last sample.
  EXPECT_EQ(png->Rgb(SpanX(25 * kMiB, 100 * kMiB), ScaleY(40'000, fullScale)), 0x00FF00u);
  EXPECT_EQ(png->Rgb(SpanX(100 * kMiB, 100 * kMiB), ScaleY(20'000, fullScale)), 0x00FF00u);
  // The IO/s line, three pixels wide, shows under the MB/s line.
  EXPECT_EQ(png->Rgb(SpanX(25 * kMiB, 100 * kMiB), ScaleY(40'000, fullScale) + 1), 0x3296FFu);
  // The composite temperature's orange dot, and the axes.
  EXPECT_EQ(png->Rgb(SpanX(10 * kMiB, 100 * kMiB), *TemperatureY(313, 273)), 0xFFA500u);
  EXPECT_EQ(png->Rgb(39, 200), 0xFFFFFFu);
  EXPECT_EQ(png->Rgb(400, 375), 0xFFFFFFu);
  // The dashed minute mark starts with a dash at the top of the plot.
  EXPECT_EQ(png->Rgb(SpanX(100 * kMiB, 100 * kMiB), 6), 0x808080u);
}

}  // namespace
}  // namespace kestrune::workloads
