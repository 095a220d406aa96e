// CSV_ShowTable and CSV_ShowChart: the cells as the views read them, the table's text, the chart's
// data and the external tool's arguments, and the commands themselves with and without the tool.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "engine/external_commands.h"
#include "engine/interpreter.h"
#include "platform/files.h"
#include "platform/host.h"
#include "platform/process.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"
#include "workloads/chart_commands.h"
#include "workloads/chart_tool.h"
#include "workloads/csv_cells.h"
#include "workloads/csv_chart_data.h"
#include "workloads/csv_table.h"
#include "workloads/png_pixels.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

TEST(CsvCells, LinesCellsAndTheirLimits) {
  const std::string longCell(70, 'c');
  std::string wide;
  for (int i = 0; i < 55; ++i) wide += std::to_string(i) + ",";
  const std::vector<CsvRow> rows =
      ReadCsvCells("a,b\r\n\r\n" + longCell + ",x\n" + wide + "\n" + std::string(600, 'z') + "\nlast,");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (CsvRow{"a", "b"}));
  EXPECT_EQ(rows[1], (CsvRow{std::string(63, 'c'), "x"}));
  EXPECT_EQ(rows[2].size(), 50u);
  EXPECT_EQ(rows[2].back(), "49");
  EXPECT_EQ(rows[3], (CsvRow{std::string(63, 'z')}));  // a line is cut at 512 characters, the cell at 63
  EXPECT_EQ(rows[4], (CsvRow{"last", ""}));
}

TEST(CsvTable, FirstCellsLeftAlignedOthersRightAligned) {
  const std::vector<CsvRow> rows = {{"Item", "Min", "Max"}, {"Spare Blocks", "100", "7"}, {"Short", "1"}};
  EXPECT_EQ(CsvTableLines(rows), (std::vector<std::string>{
                                     "Item         :Min |Max |",
                                     "Spare Blocks :100 |  7 |",
                                     "Short        :  1 |",
                                 }));
}

TEST(CsvChartData, DrawTypesSeriesAndScale) {
  const struct {
    const char* text;
    std::optional<CsvDrawType> type;
  } types[] = {{"Column_3DR", CsvDrawType::kColumn3DR},
               {"column_3d", CsvDrawType::kColumn3D},
               {"COLUMN_2D", CsvDrawType::kColumn2D},
               {"Spline_2D", CsvDrawType::kSpline2D},
               {"Pie", std::nullopt},
               {"", std::nullopt},
               {"Column_3", std::nullopt}};
  for (const auto& t : types) EXPECT_EQ(ParseDrawType(t.text), t.type) << t.text;

  const CsvChartData data =
      CsvChartDataOf({{"TotalMB", "KBPs", "IOPs"}, {"1", "2048", " 512 "}, {"2", "n/a", "-3"}, {"3"}});
  EXPECT_EQ(data.categories, (std::vector<std::string>{"1", "2", "3"}));
  ASSERT_EQ(data.series.size(), 2u);
  EXPECT_EQ(data.series[0].name, "KBPs");
  EXPECT_EQ(data.series[0].values, (std::vector<std::optional<double>>{2048, std::nullopt, std::nullopt}));
  EXPECT_EQ(data.series[1].values, (std::vector<std::optional<double>>{512, -3, std::nullopt}));
  EXPECT_EQ(CsvValueRange(data), (ValueRange{-3, 2048}));
  EXPECT_EQ(CsvValueRange(CsvChartDataOf({{"x", "y"}})), (ValueRange{0, 1}));
}

TEST(ChartTool, TwoRunsWithTheSecondPictureAt400By400) {
  EXPECT_EQ(ChartToolArguments("/p/Dor2Erode.exe", "C:\\LOGS~1\\A.CSV", "/w/R0000000003.png", "Spline_2D",
                               "Read Test 1"),
            (std::vector<std::vector<std::string>>{
                {"/p/Dor2Erode.exe", "C:\\LOGS~1\\A.CSV", "/w/R0000000003.png", "Spline_2D", "Read_Test_1"},
                {"/p/Dor2Erode.exe", "C:\\LOGS~1\\A.CSV", "/w/R0000000003.pngh", "Spline_2D", "400", "400",
                 "0", "0", "Read_Test_1"}}));
  EXPECT_EQ(ChartToolArguments("t", "c", "p", "Column_2D", "")[1],
            (std::vector<std::string>{"t", "c", "ph", "Column_2D", "400", "400", "0", "0"}));
}

// A chart tool that records its argument vectors and writes the picture it is asked for.
class ToolLauncher final : public platform::ProcessLauncher {
 public:
  struct Ended final : platform::Process {
    uint32_t Id() const override { return 9; }
    std::optional<int> Wait(const std::atomic<bool>*, uint32_t) override { return 0; }
  };
  std::unique_ptr<platform::Process> Start(const std::string&, const std::vector<std::string>& args,
                                           const std::string&, std::string&) override {
    runs.push_back(args);
    const uint8_t stub[] = {0x89, 'P', 'N', 'G'};
    platform::WriteWholeFile(args.at(2), stub);
    return std::make_unique<Ended>();
  }
  std::unique_ptr<platform::Process> StartCommandLine(const std::string&, const std::string&,
                                                      const std::string&, std::string& error) override {
    error = "not used";
    return nullptr;
  }
  int CountRunning(std::string_view) override { return 0; }
  std::string ShortPathForm(const std::string& path) override { return "SHORT:" + path; }
  std::string ProgramSearchPath() override { return ""; }

  std::vector<std::vector<std::string>> runs;
};

class CsvCommands : public ::testing::Test {
 protected:
  CsvCommands() : interp(host, Settings(), &console) {
    platform::WriteWholeFile(platform::JoinPath(dir.path(), "perf.csv"),
                             std::span(reinterpret_cast<const uint8_t*>(kCsv.data()), kCsv.size()));
    interp.SetExternalCommands(
        std::make_shared<engine::ExternalCommands>(std::vector<engine::ExternalCommand>{}, tool));
    EXPECT_TRUE(RegisterChartCommands(interp).empty());
    kestrune::testing::ReadyForStatements(interp.view(0));
  }

  engine::RunSettings Settings() {
    engine::RunSettings s = kestrune::testing::WorkFolderSettings(dir.path());
    s.programFolder = platform::JoinPath(dir.path(), "program");
    host.CreateFolders(s.programFolder);
    return s;
  }

  // Runs a statement; the picture line it wrote, if any.
  std::optional<engine::OutputLine> Picture(const std::string& statement) {
    const size_t before = interp.output(0)->lines.size();
    reports = kestrune::testing::RunStatement(interp, statement);
    for (const engine::OutputLine& line : kestrune::testing::LinesFrom(interp, before))
      if (line.kind == engine::kPicture) return line;
    return std::nullopt;
  }

  static constexpr std::string_view kCsv = "TotalMB,KBPs,IOPs\r\n1,2048,512\r\n2,4096,1024\r\n3,1024,256\r\n";
  kestrune::testing::TempDir dir;
  kestrune::testing::FakeHost host;
  kestrune::testing::CapturedConsole console;
  ToolLauncher tool;
  engine::Interpreter interp;
  kestrune::testing::PassReports reports;
};

TEST_F(CsvCommands, BadDrawTypeAndMissingFileAreRefused) {
  EXPECT_EQ(Picture(R"(CSV_ShowChart( File:"perf.csv", DrawType:"Pie", Title:"" );)"), std::nullopt);
  EXPECT_EQ(kestrune::testing::SingleCode(reports), code::kBadParameter);
  EXPECT_EQ(kestrune::testing::LastDescription(reports),
            "Parameters not match spec or over limit. DrawType Error");
  EXPECT_EQ(Picture(R"(CSV_ShowChart( File:"none.csv", DrawType:"Column_2D", Title:"" );)"), std::nullopt);
  EXPECT_EQ(kestrune::testing::SingleCode(reports), code::kFileOpenFailed);
  EXPECT_TRUE(tool.runs.empty());
}

TEST_F(CsvCommands, WithoutTheToolTheChartIsDrawnHere) {
  std::optional<engine::OutputLine> line =
      Picture(R"(CSV_ShowChart( File:"perf.csv", DrawType:"Column_3D", Title:"Perf" );)");
  EXPECT_TRUE(reports.empty());
  ASSERT_TRUE(line);
  EXPECT_EQ(line->fontSize, 150);
  EXPECT_EQ(line->attachedPath, platform::JoinPath(dir.path(), "perf.csv"));
  EXPECT_TRUE(line->text.ends_with(".png"));
  std::optional<testing::PngPixels> png = testing::ReadPng(line->text);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, 800);
  EXPECT_EQ(png->height, 400);
  EXPECT_EQ(png->At(790, 390), 0xFF000000u);
  EXPECT_TRUE(tool.runs.empty());
}

TEST_F(CsvCommands, TheToolDrawsWhereItIsInstalled) {
  const std::string toolPath = platform::JoinPath(interp.settings().programFolder, "Dor2Erode.exe");
  platform::WriteWholeFile(toolPath, std::span<const uint8_t>());
  std::optional<engine::OutputLine> line =
      Picture(R"(CSV_ShowChart( File:"perf.csv", DrawType:"Spline_2D", Title:"My Run" );)");
  EXPECT_TRUE(reports.empty());
  ASSERT_TRUE(line);
  const std::string csv = "SHORT:" + platform::JoinPath(dir.path(), "perf.csv");
  ASSERT_EQ(tool.runs.size(), 2u);
  EXPECT_EQ(tool.runs[0], (std::vector<std::string>{toolPath, csv, line->text, "Spline_2D", "My_Run"}));
  EXPECT_EQ(tool.runs[1], (std::vector<std::string>{toolPath, csv, line->text + "h", "Spline_2D", "400",
                                                    "400", "0", "0", "My_Run"}));
}

}  // namespace
}  // namespace kestrune::workloads
