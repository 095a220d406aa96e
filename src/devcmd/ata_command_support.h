// What the ATA command handlers share: the current disk as a target of the ATA operations, the
// detail lines, the debug echo of a task file, and the OK/Cancel question of the erase commands.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "devcmd/nvme_command_support.h"
#include "disk/ata_send.h"
#include "disk/ata_task_file.h"
#include "engine/detail_line.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

// The current disk and the tree to reach it (the same target the NVMe commands use).
inline NvmeTarget CurrentAtaTarget(engine::Interpreter& interp) { return CurrentNvmeTarget(interp); }

// One detail line of the view in colour.
using engine::DetailLine;

// The echo text of tf when the run is in debug mode (DebugLogDATX or /debug), else "".
std::string DebugEcho(engine::Interpreter& interp, const disk::AtaTaskFile& tf);

// Sends tf with data on the current disk (AtaCommand); -1 without a current disk.
int32_t SendAta(engine::Interpreter& interp, const disk::AtaTaskFile& tf, std::span<uint8_t> data,
                uint32_t timeoutSeconds = disk::kAtaTimeoutSeconds);

// Asks the operator "Security Erase?" (OK/Cancel); true for OK.
bool ConfirmSecurityErase(engine::Interpreter& interp, uint32_t view);

}  // namespace kestrune::devcmd
