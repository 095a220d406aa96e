#include "devcmd/nvme_command_support.h"

#include "base/completion_codes.h"
#include "disk/disk_state.h"
#include "disk/nvme_operations.h"

namespace kestrune::devcmd {

namespace code = base::code;

NvmeTarget CurrentNvmeTarget(engine::Interpreter& interp) {
  disk::DiskState& state = disk::StateOf(interp);
  if (state.tree == nullptr || !state.hasCurrent) return {};
  return {state.tree, &state.current};
}

int32_t ReadIdentify(engine::Interpreter& interp, uint8_t cns, uint32_t nsid, std::span<uint8_t> buffer) {
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return code::kOpenDiskFailed;
  return disk::Identify(*target.tree, *target.disk, cns, nsid, buffer);
}

int32_t ReadLogPage(engine::Interpreter& interp, uint8_t lid, std::span<uint8_t> buffer, uint32_t* dw0,
                    uint8_t lsp, bool rae) {
  if (dw0 != nullptr) *dw0 = 0;
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return code::kOpenDiskFailed;
  return disk::GetLogPage(*target.tree, *target.disk, lid, lsp, rae, buffer, dw0);
}

}  // namespace kestrune::devcmd
