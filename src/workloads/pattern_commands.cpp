#include "workloads/pattern_commands.h"

#include "engine/interpreter.h"
#include "workloads/pattern_handlers.h"

namespace kestrune::workloads {
namespace {

constexpr engine::HandlerRow kHandlers[] = {
    {"FullByPattern", engine::kAnyDisk, FullByPattern},
    {"FindLBA_ByPattern", engine::kAnyDisk, FindLbaByPattern},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterPatternCommands(engine::Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::workloads
