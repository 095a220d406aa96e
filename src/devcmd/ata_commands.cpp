#include "devcmd/ata_commands.h"

#include "devcmd/ata_command_groups.h"
#include "devcmd/ata_state.h"
#include "engine/interpreter.h"

namespace kestrune::devcmd {

std::vector<engine::HandlerRow> RegisterAtaCommands(engine::Interpreter& interp) {
  interp.State<AtaState>();  // made before any run, so no run thread is the first to use it
  return interp.Register({RawAtaHandlers(), AtaSectorHandlers(), AtaIdentifyHandlers(), AtaSmartHandlers(),
                          AtaPowerHandlers(), AtaEraseHandlers(), AtaFirmwareHandlers()});
}

}  // namespace kestrune::devcmd
