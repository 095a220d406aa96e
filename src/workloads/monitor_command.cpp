// MonitorData: reads the current NVMe disk's temperatures once every GetDataSec seconds for
// LimitTimeSec seconds, draws them as a chart and appends them to a CSV file, both named after the
// command's output base name.
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/disk_state.h"
#include "disk/nvme_operations.h"
#include "disk/sector_buffer.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "platform/host.h"
#include "workloads/chart_handlers.h"
#include "workloads/monitor_chart.h"
#include "workloads/monitor_layout.h"
#include "workloads/smart_temperatures.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr uint32_t kMsPerSecond = 1000;

struct MonitorRequest {
  std::vector<std::string> names;
  std::vector<size_t> indices;  // per name, its temperature among those of the SMART page
  uint32_t getDataSec = 0;
  uint32_t limitTimeSec = 0;
};

// Binds and checks the parameters; reports the first fault and gives nullopt.
std::optional<MonitorRequest> ReadRequest(engine::Interpreter& interp, uint32_t view, std::string_view args) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"MonitorItem", "GetDataSec", "LimitTimeSec"});
  const std::string items = in.Text("T-Composite | T-Sensor1 | T-Sensor2");
  MonitorRequest r;
  r.getDataSec = in.U32(2);
  r.limitTimeSec = in.U32(60);
  if (!in.ok()) return std::nullopt;
  auto fail = [&](std::string_view detail) -> std::optional<MonitorRequest> {
    interp.ReportCompletion(view, code::kBadParameter, detail);
    return std::nullopt;
  };
  if (r.getDataSec == 0) return fail("iGetDataSec must > 0");
  if (r.limitTimeSec == 0) return fail("iLimitTimeSec must > 0");
  r.names = SplitMonitorItems(items);
  if (r.names.empty() || r.names.size() > kMaxMonitorItems) return fail("max 3 Monitor Items");
  for (const std::string& name : r.names) {
    std::optional<size_t> index = TemperatureIndexOf(name);
    if (!index) return fail("");
    r.indices.push_back(*index);
  }
  return r;
}

// Reads the SMART / Health page of the current disk into page; the transport's result.
int32_t ReadSmartPage(engine::Interpreter& interp, disk::SectorBuffer& page) {
  disk::DiskState& state = disk::StateOf(interp);
  if (state.tree == nullptr || !state.hasCurrent) return code::kOpenDiskFailed;
  return disk::GetLogPage(*state.tree, state.current, kSmartLogId, 0, false, page.bytes());
}

// Waits on the host's clock until ms milliseconds after start.
void SleepUntil(platform::Host& host, uint64_t start, uint64_t ms) {
  const uint64_t now = host.MonotonicMs();
  if (now < start + ms) host.SleepMs(static_cast<uint32_t>(start + ms - now));
}

}  // namespace

void MonitorData(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  std::optional<MonitorRequest> request = ReadRequest(interp, view, args);
  if (!request) return;
  disk::SectorBuffer page(kSmartLogBytes);
  if (!page.ok()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");

  const std::string base = engine::OutputBaseName(interp, view);
  const std::string pngPath = base + ".png", csvPath = base + ".csv";
  MonitorChart chart(request->names, request->limitTimeSec);
  std::ofstream csv(platform::FsPath(csvPath), std::ios::binary | std::ios::app);
  std::string header = "Sec";
  for (const std::string& name : request->names) header += "," + name;
  csv << header << "\r\n" << std::flush;

  platform::Host& host = interp.host();
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  const uint64_t start = host.MonotonicMs();
  int32_t failure = 0;
  for (uint32_t second = 0;; ++second) {
    if (cancel.load()) break;
    if (second % request->getDataSec == 0) {
      const int32_t rc = ReadSmartPage(interp, page);
      if (rc != disk::kNvmeDone) {
        failure = rc;
        break;
      }
      const std::array<uint16_t, 9> kelvin = SmartTemperatures(page.bytes());
      std::vector<int32_t> celsius;
      std::string line = base::Format("%u", second);
      for (size_t index : request->indices) {
        celsius.push_back(CelsiusOf(kelvin[index]));
        line += base::Format(",%d", celsius.back());
      }
      chart.Add(second, celsius);
      csv << line << "\r\n" << std::flush;
    }
    if (second >= request->limitTimeSec) break;
    SleepUntil(host, start, uint64_t{second + 1} * kMsPerSecond);
  }
  csv.close();
  if (chart.Save(pngPath))
    interp.writer().WriteLine(interp.output(view), pngPath, engine::kDetail, kMonitorHeight,
                              engine::colour::kLightBlue, engine::kPicture, csvPath);
  if (failure < 0) interp.ReportCompletion(view, failure, "");
}

}  // namespace kestrune::workloads
