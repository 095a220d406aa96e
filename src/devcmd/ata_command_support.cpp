#include "devcmd/ata_command_support.h"

#include "base/completion_codes.h"
#include "disk/ata_operations.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {

std::string DebugEcho(engine::Interpreter& interp, const disk::AtaTaskFile& tf) {
  return interp.settings().debugLevel != 0 ? disk::AtaEchoText(tf) : std::string();
}

int32_t SendAta(engine::Interpreter& interp, const disk::AtaTaskFile& tf, std::span<uint8_t> data,
                uint32_t timeoutSeconds) {
  NvmeTarget target = CurrentAtaTarget(interp);
  if (!target) return base::code::kOpenDiskFailed;
  return disk::AtaCommand(*target.tree, *target.disk, tf, data, timeoutSeconds);
}

bool ConfirmSecurityErase(engine::Interpreter& interp, uint32_t view) {
  // The window's box presses OK itself after 20 s; without the window the erase is not done.
  return interp.ui().AskOkCancel(view, "Security Erase?", &interp.view(view).cancel, /*autoOk=*/true,
                                 /*windowOnly=*/true);
}

}  // namespace kestrune::devcmd
