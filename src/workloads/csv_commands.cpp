// CSV_ShowTable (a CSV file as text lines) and CSV_ShowChart (a CSV file as a picture: by the
// external chart tool when it is installed, else drawn here).
#include <optional>
#include <string>

#include "base/completion_codes.h"
#include "engine/arguments.h"
#include "engine/external_commands.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "platform/host.h"
#include "platform/process.h"
#include "workloads/chart_handlers.h"
#include "workloads/chart_tool.h"
#include "workloads/csv_cells.h"
#include "workloads/csv_chart.h"
#include "workloads/csv_table.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr int32_t kTitleSize = 12;
constexpr int32_t kPictureRow = 150;  // the height of the chart's picture line

// The rows of the CSV file that a File parameter names; an empty name asks the operator first. A
// cancelled choice gives nullopt (the run is cancelled); a missing or unreadable file reports -11
// and gives nullopt. path receives the file's full path.
std::optional<std::vector<CsvRow>> ReadCsvParameter(engine::Interpreter& interp, uint32_t view,
                                                    std::string file, std::string& path) {
  if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Open("CSV File", "csv")))
    return std::nullopt;
  std::optional<std::string> found = engine::LookupFile(file, interp.Folders(view));
  std::optional<std::vector<uint8_t>> bytes = found ? platform::ReadWholeFile(*found) : std::nullopt;
  if (!bytes) {
    interp.ReportCompletion(view, code::kFileOpenFailed, file);
    return std::nullopt;
  }
  path = *found;
  return ReadCsvCells(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

platform::ProcessLauncher& LauncherOf(engine::Interpreter& interp) {
  engine::ExternalCommands* ext = interp.externalCommands();
  return ext ? ext->launcher() : platform::DefaultProcessLauncher();
}

}  // namespace

void CsvShowTable(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"File", "Title"});
  std::string file = in.Text("");
  const std::string title = in.Text("");
  if (!in.ok()) return;
  std::string path;
  std::optional<std::vector<CsvRow>> rows = ReadCsvParameter(interp, view, file, path);
  if (!rows) return;

  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  if (!title.empty()) writer.WriteLine(out, title, engine::kDetail, kTitleSize, engine::colour::kGreen);
  const std::vector<std::string> lines = CsvTableLines(*rows);
  for (size_t i = 0; i < lines.size(); ++i)
    writer.WriteLine(out, interp.host().FromAnsi(lines[i]), engine::kDetail, 10,
                     i == 0 ? engine::colour::kGreen : engine::colour::kWhite);
}

void CsvShowChart(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"File", "DrawType", "Title"});
  std::string file = in.Text("");
  const std::string drawType = in.Text("Spline_2D");
  const std::string title = in.Text("");
  if (!in.ok()) return;
  const std::optional<CsvDrawType> type = ParseDrawType(drawType);
  if (!type) return interp.ReportCompletion(view, code::kBadParameter, "DrawType Error");
  std::string csvPath;
  std::optional<std::vector<CsvRow>> rows = ReadCsvParameter(interp, view, file, csvPath);
  if (!rows) return;

  const std::string pngPath = engine::OutputBaseName(interp, view) + ".png";
  const std::string& programFolder = interp.settings().programFolder;
  const std::string tool = platform::JoinPath(programFolder, kChartToolName);
  bool drawn;
  if (!programFolder.empty() && platform::FileExists(tool)) {
    platform::ProcessLauncher& launcher = LauncherOf(interp);
    drawn = RunChartTool(launcher, tool,
                         ChartToolArguments(tool, launcher.ShortPathForm(csvPath), pngPath, drawType, title),
                         &interp.CancelFlag(view));
  } else {
    drawn = SaveCsvChart(CsvChartDataOf(*rows), *type, title, pngPath);
  }
  // Drawing failures are not errors of the command: the picture line appears only for a picture.
  if (drawn && platform::FileExists(pngPath))
    interp.writer().WriteLine(interp.output(view), pngPath, engine::kDetail, kPictureRow,
                              engine::colour::kLightBlue, engine::kPicture, csvPath);
}

}  // namespace kestrune::workloads
