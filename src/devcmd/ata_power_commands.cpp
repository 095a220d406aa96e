// STBI and IDLE: STANDBY IMMEDIATE and IDLE IMMEDIATE.
#include "devcmd/ata_command_groups.h"
#include "devcmd/ata_command_support.h"
#include "disk/ata_operations.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

// A failure is reported; success stores 1 in the command's variable and reports nothing, so that the
// run goes on.
void PowerCommand(engine::Interpreter& interp, uint32_t view, std::string_view name, uint8_t command) {
  const int32_t rc = SendAta(interp, disk::TaskFile(command, disk::ata_flag::kNoData), {});
  if (rc < 0) return interp.ReportCompletion(view, rc, "");
  engine::ReportingSink errors(interp, view);
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Number(1));
}

void Stbi(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  PowerCommand(interp, view, name, disk::kAtaStandbyImmediate);
}

void Idle(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  PowerCommand(interp, view, name, disk::kAtaIdleImmediate);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"STBI", engine::kSataOnly, Stbi},
    {"IDLE", engine::kSataOnly, Idle},
};

}  // namespace

std::span<const engine::HandlerRow> AtaPowerHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
