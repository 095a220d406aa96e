#include "workloads/chart_commands.h"

#include "engine/interpreter.h"
#include "workloads/chart_handlers.h"

namespace kestrune::workloads {
namespace {

constexpr engine::HandlerRow kHandlers[] = {
    {"CSV_ShowTable", engine::kAnyDisk, CsvShowTable},
    {"CSV_ShowChart", engine::kAnyDisk, CsvShowChart},
    {"MonitorData", engine::kNvmeOnly, MonitorData},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterChartCommands(engine::Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::workloads
